// Kelmora: operator console for a four-axis motion controller.

#include "close_on_termination.h"
#include "command_line.h"
#include "console_application.h"
#include "history_recording.h"
#include "kelmora_version.h"
#include "main_frm.h"
#include "status_publishing.h"

#include <QApplication>

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

int main(int argc, char* argv[]) {
    // Before QApplication: the window system is not needed to answer these,
    // and may not be there (a terminal, a package build, a test).
    const ConsoleCommandLine commandLine =
        ParseConsoleCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (commandLine.action) {
    case ConsoleCommandLine::Action::ShowHelp:
        std::fputs(ConsoleUsageText().c_str(), stdout);
        return 0;
    case ConsoleCommandLine::Action::ShowVersion:
        std::fputs(ConsoleVersionText().c_str(), stdout);
        return 0;
    case ConsoleCommandLine::Action::Refuse:
        std::fprintf(stderr, "kelmora: %s\n\n%s", commandLine.error.c_str(),
                     ConsoleUsageText().c_str());
        return 2;
    case ConsoleCommandLine::Action::Run:
        break;
    }

    const PublishingChoice publishing =
        ChoosePublishing(commandLine.mqttUrl, commandLine.mqttMachine, commandLine.mqttConfig);
    if (publishing.refuse) {
        std::fprintf(stderr, "kelmora: %s\n", publishing.problem.c_str());
        return 2;
    }
    if (!publishing.problem.empty()) {
        std::fprintf(stderr, "kelmora: not publishing to MQTT: %s\n", publishing.problem.c_str());
    }

    // Qt sees its own options only; it keeps pointers into these.
    std::vector<std::string> qtArguments{argv[0]};
    qtArguments.insert(qtArguments.end(), commandLine.qtArguments.begin(),
                       commandLine.qtArguments.end());
    std::vector<char*> qtArgv;
    for (std::string& argument : qtArguments) {
        qtArgv.push_back(argument.data());
    }
    qtArgv.push_back(nullptr);
    int qtArgc = static_cast<int>(qtArguments.size());
    // A file size limit makes a write fail (and a recording say why)
    // instead of ending the console.
    std::signal(SIGXFSZ, SIG_IGN);
    ConsoleApplication app(qtArgc, qtArgv.data());
    QApplication::setApplicationName("Kelmora");
    QApplication::setApplicationVersion(kelmora::kVersionText);

    Main_frm window;
    if (commandLine.port) {
        window.presetPort(QString::fromLocal8Bit(commandLine.port->c_str()));
    }
    if (commandLine.record) {
        window.recording().start(QString::fromLocal8Bit(commandLine.record->c_str()));
    }
    // Declared after the window, so it goes first: online = false is
    // published on the way out.
    const std::unique_ptr<StatusPublishing> publisher = StartPublishing(window, publishing);
    // Ctrl+C in the terminal, or the session ending, closes the window as
    // Quit does: a recording ends with every line written and synced.
    CloseOnTermination closer(&window);
    window.show();
    const int status = app.exec();
    // A recording's file that lacks its end was said on standard error; a
    // script that started the console learns of it here too.
    return status != 0 ? status : (window.recording().leftIncompleteFile() ? 1 : 0);
}
