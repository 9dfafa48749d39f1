#include <gtest/gtest.h>

#include <QEvent>
#include <memory>
#include <string>
#include <vector>

#include "SkinTestSupport.h"
#include "skin/SubclassWnd.h"

namespace {

const QEvent::Type kProbe = static_cast<QEvent::Type>(QEvent::User + 7);

class ProbeWidget : public QWidget {
public:
    explicit ProbeWidget(std::vector<std::string>* log) : m_log(log) {}
    bool event(QEvent* e) override {
        if (e->type() == kProbe) {
            m_log->push_back("widget");
            return true;
        }
        return QWidget::event(e);
    }

private:
    std::vector<std::string>* m_log;
};

class Hook : public CSubclassWnd {
public:
    Hook(std::string name, std::vector<std::string>* log, bool workAfterDefault = false)
        : m_name(std::move(name)), m_log(log), m_after(workAfterDefault) {}
    bool OnMessage(QEvent* e) override {
        if (e->type() != kProbe)
            return CSubclassWnd::OnMessage(e);
        m_log->push_back(m_name);
        if (!m_after)
            return CSubclassWnd::OnMessage(e);
        const bool result = CallDefault();
        m_log->push_back(m_name + "-after");
        return result;
    }

private:
    std::string m_name;
    std::vector<std::string>* m_log;
    bool m_after;
};

std::vector<std::string> Probe(QWidget* widget, std::vector<std::string>* log) {
    log->clear();
    QEvent event(kProbe);
    QCoreApplication::sendEvent(widget, &event);
    return *log;
}

class SubclassWndTest : public ::testing::Test {
protected:
    std::vector<std::string> log;
};

TEST_F(SubclassWndTest, LatestHookSeesEventsFirstAndDetachingAnyOneKeepsTheOthers) {
    ProbeWidget widget(&log);
    Hook a("A", &log), b("B", &log), c("C", &log);
    EXPECT_EQ(a.Attach(&widget), 1);
    EXPECT_EQ(b.Attach(&widget), 1);
    EXPECT_EQ(c.Attach(&widget), 1);
    EXPECT_EQ(Probe(&widget, &log), (std::vector<std::string>{"C", "B", "A", "widget"}));
    c.Attach(nullptr);  // the head: the next hook takes the widget
    EXPECT_EQ(CSubclassWnd::FirstHookOf(&widget), &b);
    a.Attach(nullptr);  // the lowest: the upper one keeps working
    EXPECT_EQ(Probe(&widget, &log), (std::vector<std::string>{"B", "widget"}));
    b.Attach(nullptr);
    EXPECT_EQ(CSubclassWnd::FirstHookOf(&widget), nullptr);
    EXPECT_EQ(Probe(&widget, &log), (std::vector<std::string>{"widget"}));
}

TEST_F(SubclassWndTest, CallDefaultRunsTheRestOfTheChainAndTheWidgetBeforeReturning) {
    ProbeWidget widget(&log);
    Hook a("A", &log), b("B", &log, true);
    a.Attach(&widget);
    b.Attach(&widget);
    EXPECT_EQ(Probe(&widget, &log), (std::vector<std::string>{"B", "A", "widget", "B-after"}));
}

TEST_F(SubclassWndTest, DestroyingTheWidgetOrAHookDetachesIt) {
    auto widget = std::make_unique<ProbeWidget>(&log);
    const QWidget* address = widget.get();
    Hook a("A", &log), b("B", &log);
    a.Attach(widget.get());
    b.Attach(widget.get());
    widget.reset();
    EXPECT_FALSE(a.IsAttached());
    EXPECT_FALSE(b.IsAttached());
    // Only the address is compared: no hook may still be registered under it.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuse-after-free"
#endif
    EXPECT_EQ(CSubclassWnd::FirstHookOf(address), nullptr);
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    // Hooks may be reused on another widget afterwards; a hook destroyed leaves its chain.
    ProbeWidget other(&log);
    {
        Hook c("C", &log);
        c.Attach(&other);
        a.Attach(&other);
    }
    EXPECT_EQ(Probe(&other, &log), (std::vector<std::string>{"A", "widget"}));
}

}  // namespace
