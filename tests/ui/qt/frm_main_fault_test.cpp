// A fault that escapes a handler is shown, and the window stays: it never ends the program.

#include "core/fakes.hpp"
#include "core/platform/native_file_system.hpp"
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

TEST(FrmMainFaultTest, AFaultOfAHandlerIsShownAndTheWindowStays) {
    TempDir dir;
    auto presenter = std::make_shared<RecordingPresenter>();
    core::testing::RecordingConfigStore store;
    // A failure the window model does not expect.
    store.commitFault = [] { throw std::runtime_error("the settings file went away"); };
    core::NativeFileSystem files;
    frmMain window(store, files, dir.appDir(), {.messages = presenter});
    window.show();

    button(window, model::Control::cmdOk)->click();
    EXPECT_EQ(presenter->titles, QStringList{"Quentra Module Upgrade"});
    EXPECT_EQ(presenter->texts, QStringList{"the settings file went away"});
    EXPECT_TRUE(window.isVisible());
}

} // namespace
