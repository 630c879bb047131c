#include "PellamorApp.h"
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
    // Decided before the application object exists, because that is when Qt picks its platform.
    if (const QString note = SystemPasteboard::choosePlatform(); !note.isEmpty())
        printLine(note);
    PellamorApp app(argc, argv);
    return app.run();
}
