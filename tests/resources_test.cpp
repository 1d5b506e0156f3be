// Reads the built program's own resources back, as the handset's loader
// would find them, and checks them byte for byte against the window's
// layout: the dialog template, the soft-key bar, the strings and the icon.
#include "support/pty_port.h"
#include "ui/resources/resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const WORD kLanguage = 0x0405;

HMODULE Program()
{
    static HMODULE program = LoadLibraryExW(UnixToWindowsPath(VELMORA_PROGRAM).c_str(), NULL,
                                            LOAD_LIBRARY_AS_DATAFILE);
    return program;
}

std::vector<BYTE> Resource(LPCWSTR type, WORD id)
{
    HRSRC found = FindResourceExW(Program(), type, MAKEINTRESOURCEW(id), kLanguage);
    if (found == NULL) return {};
    const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(Program(), found)));
    return std::vector<BYTE>(data, data + SizeofResource(Program(), found));
}

// Walks a resource in the template's units: words, double words, and
// strings or ordinals (0xFFFF followed by the number).
class Reader {
public:
    explicit Reader(const std::vector<BYTE>& data) : data_(data) {}

    WORD Word()
    {
        WORD w = 0;
        if (at_ + 2 <= data_.size()) std::memcpy(&w, &data_[at_], 2);
        at_ += 2;
        return w;
    }
    DWORD Dword()
    {
        DWORD low = Word();
        return low | (static_cast<DWORD>(Word()) << 16);
    }
    short Short() { return static_cast<short>(Word()); }
    std::wstring String()
    {
        std::wstring text;
        for (WORD w = Word(); w != 0 && at_ <= data_.size(); w = Word()) text += static_cast<wchar_t>(w);
        return text;
    }
    // "#<n>" for an ordinal, the text otherwise.
    std::wstring NameOrOrdinal()
    {
        if (Peek() == 0xFFFF) {
            Word();
            return L"#" + std::to_wstring(Word());
        }
        return String();
    }
    void AlignDword() { at_ = (at_ + 3) & ~static_cast<size_t>(3); }
    size_t At() const { return at_; }

private:
    WORD Peek()
    {
        size_t keep = at_;
        WORD w = Word();
        at_ = keep;
        return w;
    }

    const std::vector<BYTE>& data_;
    size_t at_ = 0;
};

struct Control {
    DWORD style;
    short x, y, cx, cy;
    WORD id;
    std::wstring className;  // "#<atom>" for the predefined classes
    std::wstring text;
};

const Control kControls[] = {
    { 0x50020002, 9, 9, 31, 8, 0xFFFF, L"#130", L"Input: " },
    { 0x50020002, 9, 38, 31, 8, 0xFFFF, L"#130", L"Output: " },
    { 0x50810080, 45, 36, 68, 12, IDC_TCP_PORT, L"#129", L"" },
    { 0x58000080, 29, 21, 84, 12, IDC_INPUT_STATUS, L"#129", L"" },
    { 0x58000080, 29, 51, 84, 12, IDC_OUTPUT_STATUS, L"#129", L"" },
    { 0x50810103, 45, 7, 50, 11, IDC_PORT_LIST, L"#131", L"" },
    { 0x50000277, 95, 7, 18, 11, IDC_PORT_SPIN, L"msctls_updown32", L"" },
    { 0x50020000, 14, 67, 92, 19, IDC_ABOUT, L"#130", L"A Pathmoor companion\nVersion 0.36" },
};

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// Every resource of the program as "type/name:language".
struct Inventory {
    static BOOL CALLBACK Language(HMODULE, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR all)
    {
        reinterpret_cast<std::vector<std::wstring>*>(all)->push_back(
            std::to_wstring(reinterpret_cast<ULONG_PTR>(type)) + L"/" +
            std::to_wstring(reinterpret_cast<ULONG_PTR>(name)) + L":" + std::to_wstring(language));
        return TRUE;
    }
    static BOOL CALLBACK Name(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR all)
    {
        return EnumResourceLanguagesW(module, type, name, Language, all);
    }
    static BOOL CALLBACK Type(HMODULE module, LPWSTR type, LONG_PTR all)
    {
        return EnumResourceNamesW(module, type, Name, all);
    }
};

TEST(ProgramResources, AreExactlyTheWindowsOwnAllInTheOneLanguage)
{
    ASSERT_NE(static_cast<HMODULE>(NULL), Program()) << VELMORA_PROGRAM;
    std::vector<std::wstring> all;
    EnumResourceTypesW(Program(), Inventory::Type, reinterpret_cast<LONG_PTR>(&all));
    // Icon images 1 to 8, the dialog, the two string blocks, the bar, the
    // icon group; 1029 is 0x0405.
    const std::vector<std::wstring> expected = {
        L"3/1:1029", L"3/2:1029", L"3/3:1029", L"3/4:1029", L"3/5:1029", L"3/6:1029",
        L"3/7:1029", L"3/8:1029", L"5/129:1029", L"6/1:1029", L"6/7:1029", L"10/130:1029",
        L"14/101:1029",
    };
    EXPECT_EQ(expected, all);
}

TEST(ProgramResources, DialogTemplateHoldsTheWindowFieldByField)
{
    std::vector<BYTE> data = Resource(RT_DIALOG, IDD_MAIN);
    ASSERT_FALSE(data.empty());
    Reader in(data);

    EXPECT_EQ(0x00C80048u, in.Dword()) << "style";
    EXPECT_EQ(0u, in.Dword()) << "extended style";
    ASSERT_EQ(8, in.Word()) << "controls";
    for (short value : { 0, 0, 121, 95 }) EXPECT_EQ(value, in.Short()) << "position and size";
    EXPECT_EQ(L"", in.NameOrOrdinal()) << "menu";
    EXPECT_EQ(L"", in.NameOrOrdinal()) << "class";
    EXPECT_EQ(L"Velmora", in.String());
    EXPECT_EQ(8, in.Word()) << "point size";
    EXPECT_EQ(L"MS Shell Dlg", in.String());

    for (const Control& want : kControls) {
        SCOPED_TRACE("control " + std::to_string(want.id));
        in.AlignDword();
        EXPECT_EQ(want.style, in.Dword());
        EXPECT_EQ(0u, in.Dword()) << "extended style";
        for (short value : { want.x, want.y, want.cx, want.cy }) EXPECT_EQ(value, in.Short()) << "position and size";
        EXPECT_EQ(want.id, in.Word());
        // Window class names match regardless of case; windres upper-cases
        // the one class given by name.
        std::wstring className = in.NameOrOrdinal();
        EXPECT_EQ(0, _wcsicmp(want.className.c_str(), className.c_str())) << Narrow(className);
        EXPECT_EQ(want.text, in.String());
        EXPECT_EQ(0, in.Word()) << "creation data";
    }
    EXPECT_LE(data.size(), in.At() + 3) << "bytes after the last control";
    EXPECT_GE(data.size(), in.At());
}

TEST(ProgramResources, SoftKeyBarIsOneTextKeyIssuingTheToggleCommand)
{
    std::vector<BYTE> data = Resource(RT_RCDATA, IDR_MENUBAR);
    ASSERT_EQ(18u, data.size());
    std::vector<WORD> words(9);
    std::memcpy(words.data(), data.data(), data.size());
    const std::vector<WORD> expected = { 131, 1, 0xFFFE, IDM_TOGGLE, 4, 0x10, IDS_START, 0, 0xFFFF };
    EXPECT_EQ(expected, words);
}

TEST(ProgramResources, StringTableHoldsTheFiveStringsAndNothingElse)
{
    std::wstring table[7 * 16];
    for (WORD block : { 1, 7 }) {
        std::vector<BYTE> data = Resource(RT_STRING, block);
        ASSERT_FALSE(data.empty()) << block;
        Reader in(data);
        for (int i = 0; i < 16; ++i) {
            WORD length = in.Word();
            for (WORD c = 0; c < length; ++c) table[(block - 1) * 16 + i] += static_cast<wchar_t>(in.Word());
        }
        EXPECT_EQ(data.size(), in.At()) << block;
    }
    for (int id = 0; id < 7 * 16; ++id) {
        const wchar_t* want = id == 1 ? L"Velmora" : id == 2 ? L"VELMORA" : id == 103 ? L"OK"
                            : id == 104 ? L"HELP" : id == IDS_START ? L"Start" : L"";
        EXPECT_EQ(want, table[id]) << id;
    }
}

TEST(ProgramResources, IconGroupListsEightImagesThatEachLoad)
{
    std::vector<BYTE> data = Resource(RT_GROUP_ICON, IDI_APP);
    ASSERT_EQ(6u + 8 * 14, data.size());
    Reader in(data);
    EXPECT_EQ(0, in.Word());
    EXPECT_EQ(1, in.Word()) << "icon, not cursor";
    ASSERT_EQ(8, in.Word());

    const struct { int size; int bits; } images[] = {
        { 32, 4 }, { 16, 4 }, { 48, 8 }, { 32, 8 }, { 16, 8 }, { 48, 32 }, { 32, 32 }, { 16, 32 },
    };
    for (const auto& want : images) {
        SCOPED_TRACE(std::to_string(want.size) + " px, " + std::to_string(want.bits) + " bits");
        WORD size = in.Word();
        EXPECT_EQ(want.size, size & 0xFF) << "width";
        EXPECT_EQ(want.size, size >> 8) << "height";
        WORD colours = in.Word();
        EXPECT_EQ(want.bits == 4 ? 16 : 0, colours & 0xFF) << "colour count";
        EXPECT_EQ(1, in.Word()) << "planes";
        EXPECT_EQ(want.bits, in.Word());
        DWORD bytes = in.Dword();
        WORD id = in.Word();

        std::vector<BYTE> image = Resource(RT_ICON, id);
        ASSERT_EQ(bytes, image.size()) << "image " << id;
        BITMAPINFOHEADER header;
        std::memcpy(&header, image.data(), sizeof header);
        EXPECT_EQ(want.size, header.biWidth);
        EXPECT_EQ(want.size * 2, header.biHeight) << "colour and mask";
        EXPECT_EQ(want.bits, header.biBitCount);

        HICON icon = CreateIconFromResourceEx(image.data(), static_cast<DWORD>(image.size()), TRUE,
                                              0x00030000, want.size, want.size, 0);
        ASSERT_NE(static_cast<HICON>(NULL), icon);
        ICONINFO info;
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP mask;
        GetObjectW(info.hbmMask, sizeof mask, &mask);
        EXPECT_EQ(want.size, mask.bmWidth);
        DeleteObject(info.hbmMask);
        if (info.hbmColor) DeleteObject(info.hbmColor);
        DestroyIcon(icon);

        // Drawn on a tile with rounded corners: a transparent corner, an
        // opaque middle.
        size_t maskRow = ((want.size + 31) / 32) * 4;
        size_t maskStart = image.size() - maskRow * want.size;
        const BYTE* topRow = &image[maskStart + maskRow * (want.size - 1)];  // bottom-up
        const BYTE* middleRow = &image[maskStart + maskRow * (want.size / 2)];
        EXPECT_EQ(0x80, topRow[0] & 0x80) << "top left corner shows through";
        EXPECT_EQ(0, middleRow[want.size / 16] & (0x80 >> (want.size / 2 % 8))) << "middle is drawn";
    }
}

}  // namespace
