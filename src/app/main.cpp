#include "PellamorApp.h"

int main(int argc, char** argv)
{
    PellamorApp app(argc, argv);
    return app.run();
}
