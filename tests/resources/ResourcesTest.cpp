// Reads the built Kestrane.exe with Windows' own loader and version functions,
// so the checks see the resources the way Windows will.

// RT_* must be the wide forms.
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

struct Blob {
    const BYTE *data = nullptr;
    DWORD size = 0;
};

// Exact-language lookup; returns false when absent.
bool FindExact(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language, Blob *blob)
{
    HRSRC info = FindResourceExW(module, type, name, language);
    if (info == nullptr)
        return false;
    HGLOBAL loaded = LoadResource(module, info);
    if (loaded == nullptr)
        return false;
    blob->data = static_cast<const BYTE *>(LockResource(loaded));
    blob->size = SizeofResource(module, info);
    return blob->data != nullptr;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param)
{
    reinterpret_cast<std::vector<WORD> *>(param)->push_back(language);
    return TRUE;
}

BOOL CALLBACK CollectType(HMODULE, LPWSTR type, LONG_PTR param)
{
    // Named types are recorded as 0 so they never match a numeric one.
    reinterpret_cast<std::vector<ULONG_PTR> *>(param)->push_back(
        IS_INTRESOURCE(type) ? reinterpret_cast<ULONG_PTR>(type) : 0);
    return TRUE;
}

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param)
{
    reinterpret_cast<std::vector<ULONG_PTR> *>(param)->push_back(
        IS_INTRESOURCE(name) ? reinterpret_cast<ULONG_PTR>(name) : 0);
    return TRUE;
}

template <typename T>
T ReadAt(const std::vector<BYTE> &bytes, size_t offset)
{
    T value{};
    if (offset + sizeof(T) <= bytes.size())
        std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

template <typename T>
T ReadAt(const Blob &blob, size_t offset)
{
    T value{};
    if (offset + sizeof(T) <= blob.size)
        std::memcpy(&value, blob.data + offset, sizeof(T));
    return value;
}

class ResourcesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const wchar_t *path = _wgetenv(L"KESTRANE_EXE");
        ASSERT_TRUE(path != nullptr && *path != L'\0')
            << "KESTRANE_EXE is not set; it must hold the Windows path of the built Kestrane.exe";
        path_ = path;
        module_ = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module_, nullptr) << "cannot load " << path_ << " (error " << GetLastError() << ")";
    }

    void TearDown() override
    {
        if (module_ != nullptr)
            FreeLibrary(module_);
    }

    std::wstring path_;
    HMODULE module_ = nullptr;
};

constexpr WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);  // 1033
constexpr WORD kFrench = MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH);          // 1036
constexpr WORD kSwissFrench = MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH_SWISS);  // 0x100C

// ---------------------------------------------------------------------------
// Which resources exist, and under which language.

TEST_F(ResourcesTest, CarriesOnlyManifestVersionAndIconResources)
{
    std::vector<ULONG_PTR> types;
    EnumResourceTypesW(module_, CollectType, reinterpret_cast<LONG_PTR>(&types));
    std::sort(types.begin(), types.end());
    const std::vector<ULONG_PTR> expected = {
        reinterpret_cast<ULONG_PTR>(RT_ICON), reinterpret_cast<ULONG_PTR>(RT_GROUP_ICON),
        reinterpret_cast<ULONG_PTR>(RT_VERSION), reinterpret_cast<ULONG_PTR>(RT_MANIFEST)};
    EXPECT_EQ(types, expected);

    std::vector<ULONG_PTR> groups;
    EnumResourceNamesW(module_, RT_GROUP_ICON, CollectName, reinterpret_cast<LONG_PTR>(&groups));
    EXPECT_EQ(groups, std::vector<ULONG_PTR>{128}) << "exactly one icon group, id 128";
}

struct PlacementCase {
    const char *what;
    LPCWSTR type;
    WORD id;
    WORD language;
    std::vector<WORD> wrongLanguages;
};

TEST_F(ResourcesTest, EachResourceHasExactlyItsLanguage)
{
    const PlacementCase cases[] = {
        {"manifest", RT_MANIFEST, 1, kEnglishUs, {kFrench, kSwissFrench}},
        // The string block's language (0x100C) is not the resource's own.
        {"version", RT_VERSION, 1, kFrench, {kEnglishUs, kSwissFrench}},
        {"icon group", RT_GROUP_ICON, 128, kFrench, {kEnglishUs, kSwissFrench}},
    };
    for (const PlacementCase &c : cases) {
        SCOPED_TRACE(c.what);
        Blob blob;
        EXPECT_TRUE(FindExact(module_, c.type, MAKEINTRESOURCEW(c.id), c.language, &blob))
            << "not found under language " << c.language;
        for (WORD wrong : c.wrongLanguages)
            EXPECT_EQ(FindResourceExW(module_, c.type, MAKEINTRESOURCEW(c.id), wrong), nullptr)
                << "unexpectedly found under language " << wrong;

        std::vector<WORD> languages;
        EnumResourceLanguagesW(module_, c.type, MAKEINTRESOURCEW(c.id), CollectLanguage,
                               reinterpret_cast<LONG_PTR>(&languages));
        EXPECT_EQ(languages, std::vector<WORD>{c.language});
    }
}

// ---------------------------------------------------------------------------
// Version resource through the version API.

class VersionInfoTest : public ResourcesTest {
protected:
    void SetUp() override
    {
        ResourcesTest::SetUp();
        if (HasFatalFailure())
            return;
        DWORD ignored = 0;
        DWORD size = GetFileVersionInfoSizeW(path_.c_str(), &ignored);
        ASSERT_NE(size, 0u) << "no version resource (error " << GetLastError() << ")";
        data_.resize(size);
        ASSERT_TRUE(GetFileVersionInfoW(path_.c_str(), 0, size, data_.data()));
    }

    std::vector<BYTE> data_;
};

TEST_F(VersionInfoTest, FixedPartMatches)
{
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data_.data(), L"\\", reinterpret_cast<void **>(&fixed), &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));

    const struct {
        const char *field;
        DWORD actual;
        DWORD expected;
    } cases[] = {
        {"dwSignature", fixed->dwSignature, 0xFEEF04BD},
        {"dwFileVersionMS", fixed->dwFileVersionMS, 0x00010001},
        {"dwFileVersionLS", fixed->dwFileVersionLS, 0x00000000},
        {"dwProductVersionMS", fixed->dwProductVersionMS, 0x00010001},
        {"dwProductVersionLS", fixed->dwProductVersionLS, 0x00000000},
        {"dwFileFlagsMask", fixed->dwFileFlagsMask, 0x3F},
        {"dwFileFlags", fixed->dwFileFlags, 0},
        {"dwFileOS", fixed->dwFileOS, VOS_NT_WINDOWS32},
        {"dwFileType", fixed->dwFileType, VFT_APP},
        {"dwFileSubtype", fixed->dwFileSubtype, 0},
        {"dwFileDateMS", fixed->dwFileDateMS, 0},
        {"dwFileDateLS", fixed->dwFileDateLS, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.actual, c.expected) << c.field;
}

TEST_F(VersionInfoTest, TranslationIsSwissFrenchUtf16Only)
{
    WORD *pairs = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data_.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void **>(&pairs),
                               &length));
    ASSERT_EQ(length, 2 * sizeof(WORD)) << "exactly one language/code-page pair";
    EXPECT_EQ(pairs[0], 0x100C);
    EXPECT_EQ(pairs[1], 0x04B0);
}

// ---------------------------------------------------------------------------
// Version resource walked byte by byte: the API cannot tell order or count.

struct VersionNode {
    std::wstring key;
    WORD type = 0;
    std::vector<BYTE> value;
    std::vector<VersionNode> children;

    std::wstring Text() const
    {
        std::wstring text(reinterpret_cast<const wchar_t *>(value.data()), value.size() / sizeof(wchar_t));
        return text.substr(0, text.find(L'\0'));
    }

    const VersionNode *Child(const std::wstring &name) const
    {
        for (const VersionNode &child : children)
            if (child.key == name)
                return &child;
        return nullptr;
    }
};

size_t Align4(size_t offset) { return (offset + 3) & ~size_t{3}; }

// Parses the node at offset; node layout: wLength, wValueLength, wType, key, pad, value, pad, children.
bool ParseVersionNode(const Blob &blob, size_t offset, VersionNode *node, size_t *end)
{
    if (offset + 6 > blob.size)
        return false;
    WORD length = ReadAt<WORD>(blob, offset);
    WORD valueLength = ReadAt<WORD>(blob, offset + 2);
    node->type = ReadAt<WORD>(blob, offset + 4);
    size_t nodeEnd = offset + length;
    if (length < 6 || nodeEnd > blob.size)
        return false;

    size_t cursor = offset + 6;
    for (;;) {
        if (cursor + 2 > nodeEnd)
            return false;
        wchar_t ch = static_cast<wchar_t>(ReadAt<WORD>(blob, cursor));
        cursor += 2;
        if (ch == L'\0')
            break;
        node->key.push_back(ch);
    }
    cursor = Align4(cursor);

    size_t valueBytes = node->type == 1 ? size_t{valueLength} * 2 : valueLength;
    size_t valueEnd = std::min(cursor + valueBytes, nodeEnd);
    if (cursor < valueEnd)
        node->value.assign(blob.data + cursor, blob.data + valueEnd);
    cursor = Align4(valueEnd);

    while (cursor < nodeEnd) {
        VersionNode child;
        size_t childEnd = 0;
        if (!ParseVersionNode(blob, cursor, &child, &childEnd))
            return false;
        node->children.push_back(std::move(child));
        cursor = Align4(childEnd);
    }
    *end = nodeEnd;
    return true;
}

TEST_F(ResourcesTest, VersionStringsAreExactlyTheEightInOrder)
{
    Blob blob;
    ASSERT_TRUE(FindExact(module_, RT_VERSION, MAKEINTRESOURCEW(1), kFrench, &blob));
    VersionNode root;
    size_t end = 0;
    ASSERT_TRUE(ParseVersionNode(blob, 0, &root, &end)) << "malformed version resource";
    EXPECT_EQ(root.key, L"VS_VERSION_INFO");

    const VersionNode *stringInfo = root.Child(L"StringFileInfo");
    ASSERT_NE(stringInfo, nullptr);
    ASSERT_EQ(stringInfo->children.size(), 1u) << "exactly one string block";
    const VersionNode &table = stringInfo->children[0];
    EXPECT_EQ(table.key, L"100c04b0");

    const std::vector<std::pair<std::wstring, std::wstring>> expected = {
        {L"CompanyName", L"Kestrane"},
        {L"FileDescription", L"D\u00e9sinstallateur Kestrane"},
        {L"FileVersion", L"1.1.0.0"},
        {L"InternalName", L"Kestrane"},
        {L"LegalCopyright", L"\u00a9 2026 Kestrane"},
        {L"OriginalFilename", L"Kestrane.exe"},
        {L"ProductName", L"Kestrane"},
        {L"ProductVersion", L"1.1.0.0"},
    };
    std::vector<std::pair<std::wstring, std::wstring>> actual;
    for (const VersionNode &item : table.children) {
        EXPECT_EQ(item.type, 1) << "text value expected for " << item.key;
        actual.emplace_back(item.key, item.Text());
    }
    EXPECT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < std::max(actual.size(), expected.size()); ++i) {
        SCOPED_TRACE(testing::Message() << "string item " << i);
        ASSERT_LT(i, actual.size()) << "missing " << expected[i].first;
        ASSERT_LT(i, expected.size()) << "extra " << actual[i].first;
        EXPECT_EQ(actual[i].first, expected[i].first);
        EXPECT_EQ(actual[i].second, expected[i].second);
    }
}

// ---------------------------------------------------------------------------
// Manifest: the embedded text, comments dropped and blanks between tags
// folded, must be exactly this, so order, namespaces and values all count.

std::string FoldManifest(std::string text)
{
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    for (size_t at; (at = text.find("<!--")) != std::string::npos;)
        text.erase(at, text.find("-->", at) + 3 - at);
    std::string folded;
    for (char c : text) {
        bool blank = c == ' ' || c == '\t' || c == '\r' || c == '\n';
        if (blank && (folded.empty() || folded.back() == ' ' || folded.back() == '>'))
            continue;
        if (c == '<' && !folded.empty() && folded.back() == ' ')
            folded.pop_back();
        folded += blank ? ' ' : c;
    }
    return folded;
}

TEST_F(ResourcesTest, ManifestDemandsAdministratorAndListsItsSectionsInOrder)
{
    Blob blob;
    ASSERT_TRUE(FindExact(module_, RT_MANIFEST, MAKEINTRESOURCEW(1), kEnglishUs, &blob));
    const char *const expected[] = {
        R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)",
        R"(<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">)",
        R"(<trustInfo xmlns="urn:schemas-microsoft-com:asm.v3"><security><requestedPrivileges>)",
        R"(<requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>)",
        R"(</requestedPrivileges></security></trustInfo>)",
        R"(<dependency><dependentAssembly><assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls")"
        R"( version="6.0.0.0" processorArchitecture="amd64" publicKeyToken="6595b64144ccf1df" language="*"/>)",
        R"(</dependentAssembly></dependency>)",
        R"(<compatibility xmlns="urn:schemas-microsoft-com:compatibility.v1"><application>)",
        R"(<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>)", // Windows 10
        R"(<supportedOS Id="{1f676c76-80e1-4239-95bb-83d0f6d0da78}"/>)", // Windows 8.1
        R"(<supportedOS Id="{e2011457-1546-43c5-a5fe-008deee3d3f0}"/>)", // Windows Vista
        R"(<supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"/>)", // Windows 7
        R"(<supportedOS Id="{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"/>)", // Windows 8
        R"(</application></compatibility>)",
        R"(<application xmlns="urn:schemas-microsoft-com:asm.v3"><windowsSettings>)",
        R"(<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware>)",
        R"(</windowsSettings></application></assembly>)",
    };
    std::string whole;
    for (const char *piece : expected)
        whole += piece;
    EXPECT_EQ(FoldManifest(std::string(reinterpret_cast<const char *>(blob.data), blob.size)), whole);
}

// CheckInstaller.exe, beside it, runs as invoked (it says itself that it must be elevated), and walks
// paths deeper than 260 characters where Windows allows long paths.
TEST(CheckInstallerManifest, AsInvokedAndLongPathAware)
{
    // Beside Kestrane.exe, in the build, the packed suite and the release alike.
    const wchar_t *kestrane = _wgetenv(L"KESTRANE_EXE");
    ASSERT_TRUE(kestrane != nullptr && *kestrane != L'\0') << "KESTRANE_EXE is not set";
    std::wstring path = kestrane;
    path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"CheckInstaller.exe";
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr) << "cannot load CheckInstaller.exe (error " << GetLastError() << ")";
    HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_NE(info, nullptr);
    std::string text(static_cast<const char *>(LockResource(LoadResource(module, info))), SizeofResource(module, info));
    FreeLibrary(module);
    std::string folded = FoldManifest(text);
    EXPECT_NE(folded.find(R"(<requestedExecutionLevel level="asInvoker" uiAccess="false"/>)"), std::string::npos) << folded;
    EXPECT_NE(folded.find(R"(<application xmlns="urn:schemas-microsoft-com:asm.v3">)"
                          R"(<windowsSettings xmlns:ws2="http://schemas.microsoft.com/SMI/2016/WindowsSettings">)"
                          R"(<ws2:longPathAware>true</ws2:longPathAware></windowsSettings></application>)"),
              std::string::npos)
        << folded;
}

// CheckInstaller.exe carries the kit's version, the release's; Kestrane.exe keeps its own (above).
TEST(CheckInstallerVersion, NamesItselfAndTheKitsVersion)
{
    const wchar_t *kestrane = _wgetenv(L"KESTRANE_EXE");
    ASSERT_TRUE(kestrane != nullptr && *kestrane != L'\0') << "KESTRANE_EXE is not set";
    std::wstring path = kestrane;
    path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"CheckInstaller.exe";
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_NE(size, 0u) << "CheckInstaller.exe has no version resource (error " << GetLastError() << ")";
    std::vector<BYTE> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, data.data()));

    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void **>(&fixed), &length));
    const struct {
        const char *field;
        DWORD actual;
        DWORD expected;
    } numbers[] = {
        {"dwFileVersionMS", fixed->dwFileVersionMS, 0x00010002},
        {"dwFileVersionLS", fixed->dwFileVersionLS, 0x00000000},
        {"dwProductVersionMS", fixed->dwProductVersionMS, 0x00010002},
        {"dwProductVersionLS", fixed->dwProductVersionLS, 0x00000000},
        {"dwFileType", fixed->dwFileType, VFT_APP},
    };
    for (const auto &n : numbers)
        EXPECT_EQ(n.actual, n.expected) << n.field;

    const struct {
        const wchar_t *item;
        const wchar_t *expected;
    } strings[] = {
        {L"\\StringFileInfo\\040904b0\\FileDescription", L"Kestrane installer check"},
        {L"\\StringFileInfo\\040904b0\\FileVersion", L"1.2.0.0"},
        {L"\\StringFileInfo\\040904b0\\OriginalFilename", L"CheckInstaller.exe"},
        {L"\\StringFileInfo\\040904b0\\ProductName", L"Kestrane"},
        {L"\\StringFileInfo\\040904b0\\ProductVersion", L"1.2.0.0"},
    };
    for (const auto &s : strings) {
        wchar_t *text = nullptr;
        UINT chars = 0;
        std::wstring actual = VerQueryValueW(data.data(), s.item, reinterpret_cast<void **>(&text), &chars) && text
                                  ? std::wstring(text)
                                  : L"(none)";
        EXPECT_EQ(actual, s.expected) << testing::PrintToString(std::wstring(s.item));
    }
}

// ---------------------------------------------------------------------------
// Icon group and its images.

#pragma pack(push, 1)
struct GroupIconHeader {
    WORD reserved;
    WORD type;
    WORD count;
};
struct GroupIconEntry {
    BYTE width;
    BYTE height;
    BYTE colorCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytesInRes;
    WORD id;
};
#pragma pack(pop)

TEST_F(ResourcesTest, IconGroupListsEightImagesLargestFirst)
{
    Blob group;
    ASSERT_TRUE(FindExact(module_, RT_GROUP_ICON, MAKEINTRESOURCEW(128), kFrench, &group));
    auto header = ReadAt<GroupIconHeader>(group, 0);
    EXPECT_EQ(header.reserved, 0);
    EXPECT_EQ(header.type, 1) << "icon, not cursor";

    const struct {
        WORD id;
        int size;
        bool png;
    } images[] = {
        {1, 256, true}, {2, 128, false}, {3, 96, false}, {4, 64, false},
        {5, 48, false}, {6, 32, false},  {7, 24, false}, {8, 16, false},
    };
    ASSERT_EQ(header.count, std::size(images));
    ASSERT_EQ(group.size, sizeof(GroupIconHeader) + std::size(images) * sizeof(GroupIconEntry));

    for (size_t i = 0; i < std::size(images); ++i) {
        const auto &expected = images[i];
        SCOPED_TRACE(testing::Message() << "entry " << i << ", " << expected.size << " px");
        auto entry = ReadAt<GroupIconEntry>(group, sizeof(GroupIconHeader) + i * sizeof(GroupIconEntry));
        const BYTE storedSize = static_cast<BYTE>(expected.size == 256 ? 0 : expected.size);
        EXPECT_EQ(entry.id, expected.id);
        EXPECT_EQ(entry.width, storedSize);
        EXPECT_EQ(entry.height, storedSize);
        EXPECT_EQ(entry.colorCount, 0);
        EXPECT_EQ(entry.planes, 1);
        EXPECT_EQ(entry.bitCount, 32);

        Blob image;
        ASSERT_TRUE(FindExact(module_, RT_ICON, MAKEINTRESOURCEW(entry.id), kFrench, &image))
            << "RT_ICON " << entry.id << " missing under language 1036";
        EXPECT_EQ(image.size, entry.bytesInRes);
        if (expected.png) {
            static const BYTE signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
            ASSERT_GE(image.size, 24u);
            EXPECT_EQ(std::memcmp(image.data, signature, sizeof signature), 0) << "not a PNG";
            // IHDR width and height are big-endian.
            auto bigEndian = [&](size_t at) {
                return (DWORD{image.data[at]} << 24) | (DWORD{image.data[at + 1]} << 16) |
                       (DWORD{image.data[at + 2]} << 8) | DWORD{image.data[at + 3]};
            };
            EXPECT_EQ(bigEndian(16), DWORD(expected.size));
            EXPECT_EQ(bigEndian(20), DWORD(expected.size));
        } else {
            auto bitmap = ReadAt<BITMAPINFOHEADER>(image, 0);
            EXPECT_EQ(bitmap.biSize, 40u) << "not a BITMAPINFOHEADER";
            EXPECT_EQ(bitmap.biBitCount, 32);
            EXPECT_EQ(bitmap.biWidth, expected.size);
            EXPECT_EQ(bitmap.biHeight, 2 * expected.size) << "colour plus mask";
        }
    }
}

// ---------------------------------------------------------------------------
// PE headers, read from the file itself.

TEST_F(ResourcesTest, PeHeadersDeclareGuiX64WithSecurityFlags)
{
    HANDLE file = CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "cannot open " << path_ << " (error " << GetLastError() << ")";
    std::vector<BYTE> bytes(4096);
    DWORD read = 0;
    BOOL ok = ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    ASSERT_TRUE(ok);
    bytes.resize(read);

    auto dos = ReadAt<IMAGE_DOS_HEADER>(bytes, 0);
    ASSERT_EQ(dos.e_magic, IMAGE_DOS_SIGNATURE);
    const size_t pe = static_cast<size_t>(dos.e_lfanew);
    ASSERT_LE(pe + sizeof(IMAGE_NT_HEADERS64), bytes.size());
    auto nt = ReadAt<IMAGE_NT_HEADERS64>(bytes, pe);
    ASSERT_EQ(nt.Signature, DWORD{IMAGE_NT_SIGNATURE});

    const struct {
        const char *field;
        DWORD actual;
        DWORD expected;
    } fields[] = {
        {"Machine", nt.FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64},
        {"TimeDateStamp", nt.FileHeader.TimeDateStamp, 0},
        {"Magic", nt.OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR64_MAGIC},
        {"Subsystem", nt.OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI},
        {"MajorSubsystemVersion", nt.OptionalHeader.MajorSubsystemVersion, 6},
        {"MinorSubsystemVersion", nt.OptionalHeader.MinorSubsystemVersion, 0},
    };
    for (const auto &f : fields)
        EXPECT_EQ(f.actual, f.expected) << f.field;

    const struct {
        const char *flag;
        WORD bit;
    } flags[] = {
        {"DYNAMIC_BASE", IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE},
        {"HIGH_ENTROPY_VA", IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA},
        {"NX_COMPAT", IMAGE_DLLCHARACTERISTICS_NX_COMPAT},
        {"TERMINAL_SERVER_AWARE", IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE},
    };
    for (const auto &f : flags)
        EXPECT_NE(nt.OptionalHeader.DllCharacteristics & f.bit, 0) << f.flag << " missing";
}

}  // namespace
