// The program proper, loaded by the `pellamor` launcher (main.cpp) when it is started, or asked a command
// that it does not send to the running program by itself: the windows, the clipboard, the history code
// and the full command line, with Qt behind them. Kept out of the launcher's own image so that a command
// starts without them.
#include "ProgramModule.h"

#include "PellamorApp.h"
#include "cli/CommandLine.h"
#include "core/StandardOutput.h"
#include "platform/SystemPasteboard.h"
#include "platform/tesseract/TesseractRecognizer.h"
#include "platform/tesseract/TextRecognizerProcess.h"

#include <cstring>

extern "C" {

PELLAMOR_MODULE_EXPORT int pellamorProgramMain(int argc, char** argv)
{
    // The helper that reads the text of images for the program, on its standard input and output.
    if (argc == 2 && std::strcmp(argv[1], TextRecognizerProcess::serveArgument) == 0) {
        TesseractRecognizer recognizer;
        return TextRecognizerProcess::serve(recognizer);
    }
    // Decided before the application object exists, because that is when Qt picks its platform.
    if (const QString note = SystemPasteboard::choosePlatform(); !note.isEmpty())
        printLine(note);
    PellamorApp app(argc, argv);
    return app.run();
}

PELLAMOR_MODULE_EXPORT int pellamorCommandLine(int argc, char** argv)
{
    return CommandLine::run(argc, argv);
}

} // extern "C"
