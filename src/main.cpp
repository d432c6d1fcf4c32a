#include "driver/console.h"
#include "driver/driver.h"

int main(int argc, char** argv)
{
    const auto platform = kest::makeNativePlatform();
    const auto console = kest::makeNativeConsole();
    return kest::Driver(*platform, *console).run(kest::nativeArguments(argc, argv));
}
