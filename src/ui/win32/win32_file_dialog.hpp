#pragma once

#include "core/file_dialog.hpp"

#include <windows.h>

#include <commdlg.h>

#include <string>
#include <vector>

namespace quentra::ui::win32 {

// The system's open-file dialog (GetOpenFileNameW) behind the core's FileDialog. One request
// block and one name buffer live as long as the window, so that the dialog keeps what it keeps
// between uses (the name chosen last) as the dialog object of the design did. The dialog's
// library is loaded when the dialog is first wanted: loaded with the program, it and what it
// pulls in cost tens of milliseconds of CPU at every start under Wine.
class Win32FileDialog final : public core::FileDialog {
public:
    explicit Win32FileDialog(HWND owner);
    ~Win32FileDialog() override;
    Win32FileDialog(const Win32FileDialog&) = delete;
    Win32FileDialog& operator=(const Win32FileDialog&) = delete;

    // The system's own OFN_ flags, passed on as they are (the Explorer-style dialog always).
    void setFlags(std::int32_t flags) override;
    // Cancel always raises DialogCancelled, whatever `raise` says.
    void setCancelError(bool raise) override;
    void setInitDir(const std::string& dir) override;
    void setFilter(const std::string& filter) override;
    void setDialogTitle(const std::string& title) override;
    // Throws DialogCancelled on Cancel and std::runtime_error when the dialog fails, a name
    // longer than the buffer included.
    void showOpen() override;
    std::string fileName() override;

    // Characters the name buffer holds, its end included: the longest path Windows knows.
    static constexpr std::size_t kNameBufferSize = 32768;

private:
    using OpenFunction = BOOL(WINAPI*)(LPOPENFILENAMEW);
    using ErrorFunction = DWORD(WINAPI*)();
    HMODULE library_ = nullptr;
    OpenFunction getOpenFileName_ = nullptr;
    ErrorFunction extendedError_ = nullptr;
    OPENFILENAMEW request_{};
    std::vector<wchar_t> name_;
    std::wstring initDir_;
    std::wstring filter_; // "description\0pattern\0\0"
    std::wstring title_;
};

} // namespace quentra::ui::win32
