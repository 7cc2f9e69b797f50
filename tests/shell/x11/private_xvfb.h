// Starts an Xvfb of the tests' own, on a display number the tests pick, with a black root window.
#pragma once

#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

// Starts Xvfb with one `width` x `height` x 24 screen and GLX; returns its pid, or -1 with the reasons
// in *log. The number is picked here rather than by the server: on a machine shared by several
// sessions another server may hold a number through the abstract socket namespace while its lock
// file is invisible. A server counts as ours only when a client reaches it and finds the size asked.
inline pid_t startPrivateXvfb(int width, int height, std::string* name, std::string* log) {
    static int attempts = 0;
    for (int tries = 0; tries < 8; ++tries) {
        int number = 100 + static_cast<int>((getpid() * 7919L + ++attempts * 131L) % 800);
        std::string display = ":" + std::to_string(number);
        int fds[2];
        if (pipe(fds) != 0) return -1;
        pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            int devnull = open("/dev/null", O_WRONLY);
            dup2(devnull, 1);
            dup2(devnull, 2);
            std::string fd = std::to_string(fds[1]);
            std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
            execlp("Xvfb", "Xvfb", display.c_str(), "-displayfd", fd.c_str(), "-nolisten", "tcp", "-noreset", "-br",
                   "+extension", "GLX", "-screen", "0", screen.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        char text[16] = {};
        ssize_t n = read(fds[0], text, sizeof text - 1);  // the number once it listens; EOF if it died
        close(fds[0]);
        Display* probe = nullptr;
        // Listening, so a client gets in as soon as the server is scheduled: on a machine whose cores a
        // browser's software renderer holds that can take seconds, so wait up to twenty.
        for (int wait = 0; n > 0 && probe == nullptr && wait < 400; ++wait) {
            probe = XOpenDisplay(display.c_str());
            if (probe == nullptr) usleep(50000);
        }
        bool ours = probe != nullptr && DisplayWidth(probe, 0) == width && DisplayHeight(probe, 0) == height;
        if (probe != nullptr) XCloseDisplay(probe);
        if (ours) {
            *name = display;
            return pid;
        }
        *log += " " + display +
                (n <= 0  ? ": Xvfb did not start;"
                 : probe ? ": someone else's server;"
                         : ": cannot connect;");
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    return -1;
}
