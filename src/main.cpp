#include <cstdio>
#include <string>
#include <vector>

#include "driver/driver.h"

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const auto platform = kest::makeNativePlatform();
    return kest::Driver(*platform, stdout).run(arguments);
}
