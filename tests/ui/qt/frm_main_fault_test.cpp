// A fault that escapes a handler is shown, and the window stays: it never ends the program.

#include "core/fakes.hpp"
#include "ui/qt/frm_main.hpp"
#include "ui_fakes.hpp"
#include "window_controls.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

using namespace quentra;
using namespace quentra::ui;
using namespace quentra::ui::testing;

namespace {

// A store that fails in a way the window model does not expect.
class FailingStore final : public core::testing::RecordingConfigStore {
public:
    void commit() override { throw std::runtime_error("the settings file went away"); }
};

TEST(FrmMainFaultTest, AFaultOfAHandlerIsShownAndTheWindowStays) {
    TempDir dir;
    auto presenter = std::make_shared<RecordingPresenter>();
    frmMainServices services;
    services.messages = presenter;
    services.store = std::make_shared<FailingStore>();
    frmMain window(dir.appDir(), services);
    window.show();

    button(window, model::Control::cmdOk)->click();
    EXPECT_EQ(presenter->titles, QStringList{"Quentra Module Upgrade"});
    EXPECT_EQ(presenter->texts, QStringList{"the settings file went away"});
    EXPECT_TRUE(window.isVisible());
}

} // namespace
