// SPDX-License-Identifier: GPL-3.0-or-later
// pavro-ports: which serial device each port number stands for, whether it is there, and
// whether this user may open it.
#include "io.h"
#include "ui.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char kUsage[] =
    "usage: pavro-ports [--all]\n"
    "Lists the serial port numbers pavro can use: the device each stands for, whether it\n"
    "exists, and whether you may open it. A link ports/com<n> beside pavro wins over the\n"
    "standard devices. Without --all only ports whose device exists, or that have a link,\n"
    "are listed.\n";

}  // namespace

int main(int argc, char** argv) {
    bool all = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--all") == 0)
            all = true;
        else {
            std::fputs(kUsage, std::strcmp(argv[i], "--help") == 0 ? stdout : stderr);
            return std::strcmp(argv[i], "--help") == 0 ? 0 : 2;
        }
    }
    RuntimeInitConsole(argc, argv);
    char dir[kMaxPathname];
    GetProjectDir(dir);
    std::printf("ports/ links are looked for in %s/ports\n", dir);
    std::printf("%-5s %-40s %-8s %s\n", "port", "device", "exists", "you may open it");
    int listed = 0, usable = 0;
    for (int port = 1; port <= 96; ++port) {
        ComPortInfo info;
        ComPortInfoOf(port, &info);
        bool link = std::strstr(info.device, "/ports/com") != nullptr;
        if (!all && !info.exists && !link) continue;
        ++listed;
        std::string verdict, group = info.group;
        if (!info.exists)
            verdict = link ? "no: the link points at nothing" : "no: no such device";
        else if (info.mayOpen)
            verdict = "yes", ++usable;
        else
            verdict = "no: join group '" + group + "' (sudo adduser $USER " + group + "), then log in again";
        std::printf("%-5d %-40s %-8s %s\n", port, info.device, info.exists ? "yes" : "no", verdict.c_str());
    }
    if (!listed) std::printf("(no serial devices found; --all lists every port number)\n");
    std::printf("%d of the listed ports can be opened by you\n", usable);
    return 0;
}
