#pragma once
// "Print History...": the history on paper (or in a PDF file), one entry per
// line in a fixed-width font, under the same two header lines as a ".his"
// file. Lines are printed as the list shows them, without the quotes of the
// file form. A line too long for the page continues on the next line.

#include <QString>

class HistoryModel;
class QPrinter;
class QWidget;

// Prints onto an already set-up printer. Honours a page range chosen in the
// print dialog. False when the printer could not be started or a page could
// not be added.
bool PrintHistory(const HistoryModel& history, QPrinter& printer, const QString& versionText,
                  const QString& createdOnText);

// Shows the print dialog and prints on OK. Returns the text for the status
// bar; nothing when the dialog was cancelled (then nothing is printed).
QString PrintHistoryWithDialog(const HistoryModel& history, const QString& versionText,
                               QWidget* parent);
