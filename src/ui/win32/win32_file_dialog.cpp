#include "ui/win32/win32_file_dialog.hpp"

#include "core/platform/wide_text.hpp"

#include <cstdio>
#include <stdexcept>

namespace quentra::ui::win32 {

using core::narrow;
using core::widen;

Win32FileDialog::Win32FileDialog(HWND owner) : name_(kNameBufferSize, L'\0') {
    request_.lStructSize = sizeof(request_);
    request_.hwndOwner = owner;
    // From the system's own folder only, never from beside the program. Windows 7 refuses the
    // search flag without its update KB2533623: then that folder by its full path, and the
    // library's own imports from there too.
#ifndef QMU_AS_ON_WINDOWS_7 // a build for the tests only: as on Windows 7 without that update
    library_ = LoadLibraryExW(L"comdlg32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
#endif
    if (library_ == nullptr) {
        std::wstring path(MAX_PATH, L'\0');
        const UINT length = GetSystemDirectoryW(path.data(), MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            path.resize(length);
            library_ = LoadLibraryExW((path + L"\\comdlg32.dll").c_str(), nullptr,
                                      LOAD_WITH_ALTERED_SEARCH_PATH);
        }
    }
    if (library_ != nullptr) {
        getOpenFileName_ = reinterpret_cast<OpenFunction>(
            reinterpret_cast<void*>(GetProcAddress(library_, "GetOpenFileNameW")));
        extendedError_ = reinterpret_cast<ErrorFunction>(
            reinterpret_cast<void*>(GetProcAddress(library_, "CommDlgExtendedError")));
    }
}

Win32FileDialog::~Win32FileDialog() {
    if (library_ != nullptr) {
        FreeLibrary(library_);
    }
}

void Win32FileDialog::setFlags(std::int32_t flags) {
    // The Explorer-style dialog: the one the system shows without a hook anyway.
    request_.Flags = static_cast<DWORD>(flags) | OFN_EXPLORER;
}

void Win32FileDialog::setCancelError(bool /*raise*/) {}

void Win32FileDialog::setInitDir(const std::string& dir) {
    initDir_ = widen(dir);
}

void Win32FileDialog::setFilter(const std::string& filter) {
    // A filter text without a description ("*.bin") is its own description.
    filter_ = widen(filter);
    filter_ += L'\0';
    filter_ += widen(filter);
    filter_ += L'\0';
}

void Win32FileDialog::setDialogTitle(const std::string& title) {
    title_ = widen(title);
}

void Win32FileDialog::showOpen() {
    request_.lpstrFilter = filter_.empty() ? nullptr : filter_.c_str();
    request_.nFilterIndex = 1;
    request_.lpstrInitialDir = initDir_.empty() ? nullptr : initDir_.c_str();
    request_.lpstrTitle = title_.empty() ? nullptr : title_.c_str();
    request_.lpstrFile = name_.data();
    request_.nMaxFile = static_cast<DWORD>(name_.size());
    name_.back() = L'\0';
    if (getOpenFileName_ == nullptr || extendedError_ == nullptr) {
        throw std::runtime_error("the system's file dialog is not available");
    }
    if (getOpenFileName_(&request_) != FALSE) {
        return;
    }
    const DWORD error = extendedError_();
    if (error == 0) {
        throw core::DialogCancelled();
    }
    // FNERR_BUFFERTOOSMALL leaves the needed size in the buffer, not a name.
    name_.front() = L'\0';
    char code[16];
    std::snprintf(code, sizeof code, "0x%04lX", static_cast<unsigned long>(error));
    throw std::runtime_error(std::string("the file dialog failed (error ") + code + ")");
}

std::string Win32FileDialog::fileName() {
    return narrow(std::wstring_view(name_.data()));
}

} // namespace quentra::ui::win32
