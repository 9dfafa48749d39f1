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

QAction* AddCommand(QMenu* menu, int id, const QString& text, bool checked) {
    QAction* action = menu->addAction(text);
    action->setData(id);
    action->setCheckable(true);
    action->setChecked(checked);
    return action;
}

}  // namespace

QString Text(int uiIndex) {
    return QString::fromStdString(LanguageTable().UIInfo(uiIndex));
}

int DisplayModeOfCommand(int id) {
    for (int mode = 0; mode < 6; ++mode)
        if (kDisplayModeIds[mode] == id)
            return mode;
    return -1;
}

std::unique_ptr<QMenu> Build(const MenuState& s, QWidget* parent) {
    auto menu = std::make_unique<QMenu>(parent);
    AddCommand(menu.get(), kAmplify, Text(kUiAmplify), false);
    AddCommand(menu.get(), kReduce, Text(kUiReduce), false);
    AddCommand(menu.get(), kEqual, Text(kUiEqual), false);
    menu->addSeparator();
    AddCommand(menu.get(), kRepeat, Text(kUiRepeat), s.repeat);
    AddCommand(menu.get(), kFullScreen, Text(kUiFullScreen), s.fullScreen);
    AddCommand(menu.get(), kAdjust, Text(kUiAdjust), s.adjust);
    menu->addSeparator();

    // The speed items are fixed words, not language texts. 1X is checked whatever the mode.
    QMenu* forward = menu->addMenu(Text(kUiForward));
    const bool forwardMode = s.speedMode == 1;
    AddCommand(forward, kForward1X, QStringLiteral("1X"), s.speedIndex == 0);
    AddCommand(forward, kForward2X, QStringLiteral("2X"), s.speedIndex == 1 && forwardMode);
    AddCommand(forward, kForward4X, QStringLiteral("4X"), s.speedIndex == 2 && forwardMode);
    AddCommand(forward, kForward8X, QStringLiteral("8X"), s.speedIndex == 3 && forwardMode);

    QMenu* display = menu->addMenu(Text(kUiDisplay));
    for (int mode = 0; mode < 6; ++mode)
        AddCommand(display, kDisplayModeIds[mode], Text(kUiFirstDisplayMode + mode),
                   s.displayMode == mode);

    menu->addSeparator();
    AddCommand(menu.get(), kProperty, Text(kUiProperty), false);
    return menu;
}

}  // namespace display_menu
