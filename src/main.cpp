#include <cstdio>

#include "driver/driver.h"

int main(int argc, char** argv)
{
    const auto platform = kest::makeNativePlatform();
    return kest::Driver(*platform, stdout).run(kest::nativeArguments(argc, argv));
}
