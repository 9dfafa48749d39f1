// tvqplayer [file]: plays .tvq movies; a second start hands its file to the running copy.
#include <QApplication>
#include <QIcon>
#include <QStyle>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/PlayerApp.h"
#include "app/QtMessageBoxService.h"
#include "platform/MessageBox.h"
#include "platform/sound/SdlSoundDevice.h"
#include "platform/sound/SoundDevice.h"

namespace {

constexpr const char* kVersion = "TVQ Player 1.5";
constexpr const char* kUsage =
    "Usage: tvqplayer [options] [file.tvq]\n"
    "\n"
    "Plays .tvq movies. The file is added to the playlist and played; when the player runs\n"
    "already, the file goes to the running copy's playlist instead and this start ends.\n"
    "\n"
    "Options:\n"
    "  --help       show this text and exit\n"
    "  --version    show the version and exit\n"
    "\n"
    "Environment:\n"
    "  SDL_AUDIODRIVER  sound driver (e.g. pulseaudio, alsa; disk or dummy without a card)\n"
    "  TVQ_LANGID       language id instead of the locale's (2052 Chinese, 1033 English)\n"
    "  TVQ_TRACE=1      print the playlist's changes on stdout: \"added <path>\",\n"
    "                   \"removed <path>\", \"playing <path>\" (used by the end-to-end tests)\n";

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
    // The application object comes first: it attaches to the block the copies share.
    CPlayerApp app;
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName("tvqplayer");
    QApplication::setWindowIcon(QApplication::style()->standardIcon(QStyle::SP_MediaPlay));
    win::SetMessageBoxService(std::make_shared<CQtMessageBoxService>());
    win::SetSoundDeviceFactory(win::OpenSdlSoundDevice);

    app.InitInstance(QApplication::arguments());
    const int code = app.ExitInstance();
    win::SetMessageBoxService(nullptr);
    return code;
}
