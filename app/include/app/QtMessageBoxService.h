#pragma once
// Message boxes as QMessageBox. On the user-interface thread the box is modal and its answer
// is returned; from any other thread the box is queued to the user-interface thread and IDOK
// is returned at once, so a worker never waits for the user (and cannot deadlock with a
// thread that is waiting for that worker).
#include <cstdint>
#include <string>

#include "platform/MessageBox.h"

class CQtMessageBoxService : public win::MessageBoxService {
public:
    int Show(const std::string& text, const std::string& caption, uint32_t flags) override;

    // The modal box itself (user-interface thread); returns IDOK.
    static int ShowModal(const std::string& text, const std::string& caption, uint32_t flags);
};
