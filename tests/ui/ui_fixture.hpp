#pragma once

#include "scripted_platform.hpp"
#include "ui/events.hpp"
#include "ui/window_layer.hpp"

#include <gtest/gtest.h>

namespace rz::testing {

// Fresh layers on a fresh scripted platform for every test.
class UiTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetPlatform(&platform);
        ResetWindowLayer();
        ResetEventLayer();
    }
    void TearDown() override {
        ResetWindowLayer();
        ResetEventLayer();
        SetPlatform(nullptr);
    }

    // Opens window 0 the way the main window is opened.
    NativeHandle OpenMain() {
        return OpenTopLevelWindow(0, 0, 0, 240, 470, u"Rezurudev V1.1", 0xC80001);
    }

    std::vector<QueuedEvent> Queue() const {
        const auto& q = EventLayer().EventQueue;
        return std::vector<QueuedEvent>(q.begin(), q.end());
    }

    ScriptedPlatform platform;
};

} // namespace rz::testing

namespace rz {
inline void PrintTo(const QueuedEvent& e, std::ostream* os) {
    *os << "{kind " << e.Kind << ", control " << e.Control << ", window " << e.Window << ", type "
        << e.Type << "}";
}
} // namespace rz

namespace rz::testing {

inline QueuedEvent Ev(uint32_t kind, int32_t control, int32_t window, int32_t type) {
    return QueuedEvent{kind, 0, control, window, type};
}

} // namespace rz::testing
