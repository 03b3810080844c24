#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include <windows.h>

namespace {

// This program run again with the arguments given: its exit code, and what it printed.
DWORD RunSelf(const std::wstring &arguments, std::string *printed)
{
    wchar_t self[MAX_PATH * 2] = {0};
    GetModuleFileNameW(NULL, self, MAX_PATH * 2);
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    wchar_t name[MAX_PATH + 1];
    GetTempFileNameW(temp, L"tm", 0, name);
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE out = CreateFileW(name, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    std::wstring line = L"\"" + std::wstring(self) + L"\" " + arguments;
    STARTUPINFOW startup = {sizeof startup};
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION process;
    DWORD code = 0xFFFFFFFF;
    if (out != INVALID_HANDLE_VALUE
        && CreateProcessW(self, &line[0], NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process)) {
        if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0)
            TerminateProcess(process.hProcess, 0xDEAD);
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    if (out != INVALID_HANDLE_VALUE)
        CloseHandle(out);
    printed->clear();
    if (FILE *file = _wfopen(name, L"rb")) {
        char chunk[4096];
        for (size_t read; (read = fread(chunk, 1, sizeof chunk, file)) > 0;)
            printed->append(chunk, read);
        fclose(file);
    }
    DeleteFileW(name);
    return code;
}

}  // namespace

// A filter named after a group no file holds runs nothing, and says so with a failure; a filter
// that selects a row, and a listing, pass as GoogleTest's own main has them.
TEST(TestMain, AFilterThatSelectsNoTestFails)
{
    struct Row { const wchar_t *Arguments; DWORD Code; const char *Printed; } rows[] = {
        {L"--gtest_filter=NoSuchGroup.*", 1, "0 tests matched --gtest_filter=NoSuchGroup.*"},
        {L"--gtest_filter=CheckPathText.InsideParentAndSameTextWhateverTheCase", 0, "[  PASSED  ] 1 test."},
        {L"--gtest_list_tests --gtest_filter=NoSuchGroup.*", 0, ""},
    };
    for (const Row &row : rows) {
        std::string printed;
        EXPECT_EQ(RunSelf(row.Arguments, &printed), row.Code) << printed;
        EXPECT_NE(printed.find(row.Printed), std::string::npos) << row.Printed << " in\n" << printed;
    }
}
