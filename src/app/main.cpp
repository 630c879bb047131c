#include "PellamorApp.h"
#include "cli/CommandLine.h"
#include "core/StandardOutput.h"
#include "platform/SystemPasteboard.h"
#include "platform/tesseract/TesseractRecognizer.h"
#include "platform/tesseract/TextRecognizerProcess.h"

#include <cstring>

int main(int argc, char** argv)
{
    // The helper that reads the text of images for the program, on its standard input and output.
    if (argc == 2 && std::strcmp(argv[1], TextRecognizerProcess::serveArgument) == 0) {
        TesseractRecognizer recognizer;
        return TextRecognizerProcess::serve(recognizer);
    }
    // A command for the running program (or a read of the history file): no GUI is started for it.
    if (argc >= 2 && CommandLine::handles(argv[1]))
        return CommandLine::run(argc, argv);
    // Decided before the application object exists, because that is when Qt picks its platform.
    if (const QString note = SystemPasteboard::choosePlatform(); !note.isEmpty())
        printLine(note);
    PellamorApp app(argc, argv);
    return app.run();
}
