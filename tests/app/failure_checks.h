// Checks of velmora's message boxes about the alarm file, shared by the
// failure tests.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "e2e_harness.h"

namespace e2e {

// The system's own text for an error, as FormatMessageW gives it.
inline std::wstring SystemText(DWORD error) {
    wchar_t text[512] = L"";
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, 512,
                   nullptr);
    std::wstring result = text;
    while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r' || result.back() == L' ')) {
        result.pop_back();
    }
    return result;
}

// The error number a message shows as "（エラー N）"; 0 when it shows none.
inline DWORD ErrorNumberIn(const std::wstring& text) {
    const std::wstring mark = L"（エラー ";
    const std::size_t at = text.find(mark);
    return at == std::wstring::npos ? 0 : std::wcstoul(text.c_str() + at + mark.size(), nullptr, 10);
}

// The message names the file, gives the system's reason, and returns its number.
inline DWORD ExpectFileAndReason(const std::wstring& text, const std::wstring& path) {
    EXPECT_NE(std::wstring::npos, text.find(path)) << "which file";
    const DWORD error = ErrorNumberIn(text);
    EXPECT_NE(0u, error) << "no error number";
    const std::wstring reason = SystemText(error);
    EXPECT_FALSE(reason.empty());
    EXPECT_NE(std::wstring::npos, text.find(reason)) << "why, in the system's words";
    return error;
}

// The ids of the buttons of a message box, in ascending order.
inline std::vector<int> SortedButtons(HWND box) {
    std::vector<int> ids = ButtonIds(box);
    std::sort(ids.begin(), ids.end());
    return ids;
}

}  // namespace e2e
