#include <QApplication>
#include <optional>

#include "App.h"
#include "CommandLine.h"

int main(int argc, char* argv[]) {
    // The options are searched in the arguments joined by single spaces, the form in
    // which the program's command line is kept.
    const std::string commandLine = JoinArguments(argc, argv);
    std::optional<QApplication> app;
    const bool run = theApp.InitInstance(commandLine, [&] { app.emplace(argc, argv); });
    const int code = run ? app->exec() : 0;
    theApp.ExitInstance();
    return code;
}
