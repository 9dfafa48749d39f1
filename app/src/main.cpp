// tvqplayer [file...]: plays .tvq movies; a second start hands its files to the running copy.
#include <SDL.h>
#include <malloc.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>
#include <QStyle>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/PlayerApp.h"
#include "app/QtMessageBoxService.h"
#include "platform/MessageBox.h"
#include "platform/Version.h"
#include "platform/sound/SdlSoundDevice.h"
#include "platform/sound/SoundDevice.h"

namespace {

constexpr const char* kVersion = "TVQ Player " TVQ_VERSION_TEXT;
constexpr const char* kUsage =
    "Usage: tvqplayer [options] [file.tvq...]\n"
    "\n"
    "Plays .tvq movies. The files are added to the playlist in order and the first one plays;\n"
    "when the player runs already, they go to the running copy's playlist instead and this\n"
    "start ends. A file that is not a .tvq movie is named on standard error and left out.\n"
    "\n"
    "Options:\n"
    "  --help       show this text and exit\n"
    "  --version    show the version and exit\n"
    "\n"
    "Environment:\n"
    "  SDL_AUDIODRIVER  sound driver (e.g. pulseaudio, alsa; disk or dummy without a card)\n"
    "  TVQ_LANGID       language id instead of the locale's (2052 Chinese, 1033 English)\n"
    "  TVQ_TRACE=1      print the playlist's changes on stdout: \"added <path>\",\n"
    "                   \"removed <path>\", \"playing <path>\" and \"stopped\" at the end of\n"
    "                   the list (used by the end-to-end tests)\n";

// SIGTERM and SIGINT close the windows as the close box does, so that a session logout or a
// Ctrl+C stops playback and ends the program cleanly. The handler only writes to a pipe; the
// user-interface thread does the closing.
int g_signalPipe[2] = {-1, -1};

void OnTerminateSignal(int) {
    const char byte = 1;
    if (::write(g_signalPipe[1], &byte, 1) < 0) {
        // Nothing can be done inside a signal handler.
    }
}

void CloseOnSignals(QApplication& app) {
    if (::pipe(g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        char byte;
        if (::read(g_signalPipe[0], &byte, 1) > 0)
            QApplication::closeAllWindows();
    });
    struct sigaction action {};
    action.sa_handler = OnTerminateSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

// Stored frames and pictures are hundreds of KB each and come and go on several threads all the
// time. glibc's sliding mmap threshold moves such blocks into the heaps as soon as one is freed,
// where they fragment the per-thread arenas, and the resident size creeps up over a long session.
// A fixed threshold keeps each in a mapping of its own that goes back to the system when freed.
void KeepLargeBlocksMapped() {
    constexpr int kLargeBlockBytes = 128 * 1024;
    mallopt(M_MMAP_THRESHOLD, kLargeBlockBytes);
}

}  // namespace

int main(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s\n", kVersion);
            return 0;
        }
    }
    KeepLargeBlocksMapped();
    // The application object comes first: it attaches to the block the copies share.
    CPlayerApp app;
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName("tvqplayer");
    // The desktop entry's name lets a Wayland compositor match the window to its entry and icon.
    QApplication::setDesktopFileName("tvqplayer");
    QApplication::setWindowIcon(
        QIcon::fromTheme("tvqplayer", QApplication::style()->standardIcon(QStyle::SP_MediaPlay)));
    win::SetMessageBoxService(std::make_shared<CQtMessageBoxService>());
    // SDL would otherwise take SIGTERM and SIGINT for its own event queue, which we never read.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    win::SetSoundDeviceFactory(win::OpenSdlSoundDevice);
    CloseOnSignals(qtApp);

    app.InitInstance(QApplication::arguments());
    const int code = app.ExitInstance();
    win::SetMessageBoxService(nullptr);
    return code;
}
