// Queues work on the main queue after the application object is gone, as a worker that
// finishes during shutdown does. The process must end normally.
#include "platform/Dispatch.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    {
        QCoreApplication app(argc, argv);
    }
    bool ran = false;
    dispatch::asyncMain([&] { ran = true; });
    dispatch::syncMain([&] { ran = true; });
    dispatch::after(1, [&] { ran = true; });
    std::puts(ran ? "ran" : "dropped");
    return 0;
}
