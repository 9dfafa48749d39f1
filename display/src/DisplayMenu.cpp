#include "display/DisplayMenu.h"

#include "support/LanguageTable.h"

namespace display_menu {
namespace {

// UIInfo entries of the menu words.
constexpr int kUiAmplify = 40;
constexpr int kUiReduce = 41;
constexpr int kUiEqual = 42;
constexpr int kUiRepeat = 50;
constexpr int kUiFullScreen = 51;
constexpr int kUiForward = 52;
constexpr int kUiDisplay = 53;
constexpr int kUiProperty = 54;
constexpr int kUiAdjust = 60;
constexpr int kUiFirstDisplayMode = 61;  // 61 .. 66: "Normal" .. "270 Degree Circle"

QAction* AddCommand(QMenu* menu, int id, const QString& text) {
    QAction* action = menu->addAction(text);
    action->setData(id);
    return action;
}

// An item that shows a state; the plain commands carry no check box at all, so that a style
// drawing unchecked boxes does not suggest that zoom or the property box can be "on".
QAction* AddOption(QMenu* menu, int id, const QString& text, bool checked) {
    QAction* action = AddCommand(menu, id, text);
    action->setCheckable(true);
    action->setChecked(checked);
    return action;
}

}  // namespace

QString Text(int uiIndex) {
    return QString::fromStdString(LanguageTable().UIInfo(uiIndex));
}

bool DisplayModeOfCommand(int id, DisplayMode* mode) {
    for (int number = 0; number < kDisplayModeCount; ++number) {
        if (kDisplayModeIds[number] == id) {
            *mode = DisplayMode{number};
            return true;
        }
    }
    return false;
}

std::unique_ptr<QMenu> Build(const MenuState& s, QWidget* parent) {
    auto menu = std::make_unique<QMenu>(parent);
    AddCommand(menu.get(), kAmplify, Text(kUiAmplify));
    AddCommand(menu.get(), kReduce, Text(kUiReduce));
    AddCommand(menu.get(), kEqual, Text(kUiEqual));
    menu->addSeparator();
    AddOption(menu.get(), kRepeat, Text(kUiRepeat), s.repeat);
    AddOption(menu.get(), kFullScreen, Text(kUiFullScreen), s.fullScreen);
    AddOption(menu.get(), kAdjust, Text(kUiAdjust), s.adjust);
    menu->addSeparator();

    // The speed items are fixed words, not language texts. 1X is checked whatever the mode.
    QMenu* forward = menu->addMenu(Text(kUiForward));
    const bool forwardMode = s.speedMode == SpeedMode::Forward;
    AddOption(forward, kForward1X, QStringLiteral("1X"), s.speed == Speed::X1);
    AddOption(forward, kForward2X, QStringLiteral("2X"), s.speed == Speed::X2 && forwardMode);
    AddOption(forward, kForward4X, QStringLiteral("4X"), s.speed == Speed::X4 && forwardMode);
    AddOption(forward, kForward8X, QStringLiteral("8X"), s.speed == Speed::X8 && forwardMode);

    QMenu* display = menu->addMenu(Text(kUiDisplay));
    for (int mode = 0; mode < kDisplayModeCount; ++mode)
        AddOption(display, kDisplayModeIds[mode], Text(kUiFirstDisplayMode + mode),
                  s.displayMode == DisplayMode{mode});

    menu->addSeparator();
    AddCommand(menu.get(), kProperty, Text(kUiProperty));
    return menu;
}

}  // namespace display_menu
