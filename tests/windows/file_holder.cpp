// Holds every new file of a folder for a while, as virus scanners and sync clients do: each file
// that appears there (created, or renamed to a new name) is opened for reading without sharing,
// held FIRST_MS milliseconds, let go, opened again and held SECOND_MS (0: not again). A file it
// cannot open yet, because another program has it open, is tried again until it can; a file that
// has gone is left. Runs until it is ended. Says, one a line on its output:
//   watching        once changes are watched (a file made after this line is held)
//   held <name>     each time it starts to hold a file
// Usage: file_holder <folder> <FIRST_MS> <SECOND_MS>. Exit status 2 for a usage error or a
// folder it cannot watch.
#include "probe_output.hpp"

#include <windows.h>

#include <cwchar>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

std::mutex outputLock;

void say(const std::wstring& text) {
    const std::lock_guard<std::mutex> lock(outputLock);
    writeUtf8(text + L"\n");
}

// Opened without sharing, once no other program has the file open; nothing once it has gone.
// Gives up after a minute, a bound against a file held open for ever.
HANDLE openUnshared(const std::wstring& path) {
    for (int attempt = 0; attempt < 60000; ++attempt) {
        const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            return file;
        }
        const DWORD error = GetLastError();
        // Sharing violation while another has it open; access denied while it is being deleted.
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) {
            return nullptr;
        }
        Sleep(1);
    }
    return nullptr;
}

void hold(const std::wstring& folder, const std::wstring& name, DWORD first, DWORD second) {
    for (const DWORD span : {first, second}) {
        if (span == 0) {
            continue;
        }
        const HANDLE file = openUnshared(folder + L"\\" + name);
        if (file == nullptr) {
            return;
        }
        say(L"held " + name);
        Sleep(span);
        CloseHandle(file);
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        say(L"usage: file_holder <folder> <FIRST_MS> <SECOND_MS>");
        return 2;
    }
    const std::wstring folder = argv[1];
    const auto first = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));
    const auto second = static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10));
    const HANDLE directory = CreateFileW(
        folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    if (directory == INVALID_HANDLE_VALUE) {
        say(L"cannot watch " + folder);
        return 2;
    }
    // Changes are collected from the first request on, also while the last ones are handled.
    std::vector<DWORD> changes(16384);
    OVERLAPPED request{};
    request.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bool announced = false;
    for (;;) {
        ResetEvent(request.hEvent);
        if (ReadDirectoryChangesW(
                directory, changes.data(), static_cast<DWORD>(changes.size() * sizeof(DWORD)),
                FALSE, FILE_NOTIFY_CHANGE_FILE_NAME, nullptr, &request, nullptr) == FALSE) {
            say(L"cannot watch " + folder);
            return 2;
        }
        if (!announced) {
            say(L"watching");
            announced = true;
        }
        DWORD size = 0;
        if (GetOverlappedResult(directory, &request, &size, TRUE) == FALSE) {
            continue; // too many changes at once for the buffer: those are lost, the next are not
        }
        const auto* bytes = reinterpret_cast<const char*>(changes.data());
        for (DWORD offset = 0; size > 0;) {
            const auto* change = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(bytes + offset);
            if (change->Action == FILE_ACTION_ADDED ||
                change->Action == FILE_ACTION_RENAMED_NEW_NAME) {
                const std::wstring name(change->FileName, change->FileNameLength / sizeof(WCHAR));
                std::thread(hold, folder, name, first, second).detach();
            }
            if (change->NextEntryOffset == 0) {
                break;
            }
            offset += change->NextEntryOffset;
        }
    }
}
