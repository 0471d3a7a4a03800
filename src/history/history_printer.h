#pragma once
// "Print History...": the history on paper (or in a PDF file), one entry per
// line in a fixed-width font, under the same two header lines as a ".his"
// file. Lines are printed as the list shows them, without the quotes of the
// file form. The font is made small enough for the widest line the console
// logs (a sent frame's 128 hex digits) to fit on one row; a longer line
// continues on the next row.

#include <QFont>
#include <QString>

class HistoryModel;
class QPrinter;
class QWidget;

// The system's fixed-width font at the size a history is printed in when
// its widest line fits the page.
QFont HistoryPrintFont();

// Prints onto an already set-up printer, in `font` or smaller. Honours a
// page range chosen in the print dialog. False when the printer could not be
// started or a page could not be added.
bool PrintHistory(const HistoryModel& history, QPrinter& printer, const QString& versionText,
                  const QString& createdOnText, const QFont& font = HistoryPrintFont());

// Shows the print dialog and prints on OK. Returns the text for the status
// bar; nothing when the dialog was cancelled (then nothing is printed).
QString PrintHistoryWithDialog(const HistoryModel& history, const QString& versionText,
                               QWidget* parent);
