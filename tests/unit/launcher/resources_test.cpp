// The resources of the built Ferrotune.exe: both dialog templates field by
// field, the icon's images, the system-menu string and the version block.
#include "debuggee.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const WORD kButton = 0x0080;
const WORD kStatic = 0x0082;

// A name or ordinal field of a template: 0xFFFF and an ordinal, or a string.
struct NameOrOrdinal {
    WORD ordinal = 0; // 0xFFFF-marked ordinal, else 0
    std::string text; // the string (ASCII texts only)
    bool operator==(const NameOrOrdinal& other) const { return ordinal == other.ordinal && text == other.text; }
};

std::ostream& operator<<(std::ostream& out, const NameOrOrdinal& value)
{
    return value.ordinal != 0 ? out << "#" << value.ordinal : out << '"' << value.text << '"';
}

NameOrOrdinal Text(const char* text)
{
    NameOrOrdinal value;
    value.text = text;
    return value;
}

NameOrOrdinal Ordinal(WORD ordinal)
{
    NameOrOrdinal value;
    value.ordinal = ordinal;
    return value;
}

struct Control {
    WORD windowClass; // atom of a predefined class
    int id;
    NameOrOrdinal text;
    short x, y, cx, cy;
    DWORD style;
};

struct DialogTemplate {
    bool extended = false;
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    NameOrOrdinal menu, windowClass;
    std::string caption;
    WORD pointSize = 0, weight = 0;
    BYTE italic = 0, charset = 0;
    std::string typeface;
    std::vector<Control> controls;
};

// Reads a dialog template resource, classic or extended.
class TemplateReader {
public:
    explicit TemplateReader(const BYTE* data) : m_start(data), m_at(data) {}

    DialogTemplate Read()
    {
        DialogTemplate t;
        t.extended = Peek(0) == 1 && Peek(1) == 0xFFFF;
        WORD count;
        if (t.extended) {
            Skip(4); // dlgVer, signature
            Dword(); // helpID
            t.exStyle = Dword();
            t.style = Dword();
        } else {
            t.style = Dword();
            t.exStyle = Dword();
        }
        count = Word();
        t.x = Short(), t.y = Short(), t.cx = Short(), t.cy = Short();
        t.menu = Name();
        t.windowClass = Name();
        t.caption = Name().text;
        if (t.style & DS_SETFONT) {
            t.pointSize = Word();
            if (t.extended) {
                t.weight = Word();
                t.italic = *m_at++;
                t.charset = *m_at++;
            }
            t.typeface = Name().text;
        }
        for (WORD i = 0; i < count; ++i)
            t.controls.push_back(ReadControl(t.extended));
        return t;
    }

private:
    Control ReadControl(bool extended)
    {
        AlignToDword();
        Control c;
        if (extended) {
            Dword(); // helpID
            Dword(); // exStyle
            c.style = Dword();
        } else {
            c.style = Dword();
            Dword(); // exStyle
        }
        c.x = Short(), c.y = Short(), c.cx = Short(), c.cy = Short();
        c.id = extended ? static_cast<int>(Dword()) : static_cast<short>(Word());
        const NameOrOrdinal windowClass = Name();
        c.windowClass = windowClass.ordinal;
        c.text = Name();
        Skip(Word()); // creation data
        return c;
    }

    WORD Peek(int index) const { return reinterpret_cast<const WORD*>(m_at)[index]; }
    WORD Word()
    {
        WORD value;
        memcpy(&value, m_at, 2);
        m_at += 2;
        return value;
    }
    short Short() { return static_cast<short>(Word()); }
    DWORD Dword()
    {
        const DWORD low = Word();
        return low | static_cast<DWORD>(Word()) << 16;
    }
    void Skip(size_t bytes) { m_at += bytes; }
    void AlignToDword() { m_at = m_start + ((m_at - m_start + 3) & ~static_cast<ptrdiff_t>(3)); }
    NameOrOrdinal Name()
    {
        NameOrOrdinal value;
        const WORD first = Word();
        if (first == 0xFFFF) {
            value.ordinal = Word();
            return value;
        }
        for (WORD c = first; c != 0; c = Word())
            value.text += static_cast<char>(c);
        return value;
    }

    const BYTE* m_start;
    const BYTE* m_at;
};

class LauncherResources : public testing::Test {
protected:
    void SetUp() override
    {
        m_path = ThisProgramFolder() + "..\\bin\\Ferrotune.exe";
        m_module = LoadLibraryExA(m_path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, m_module) << m_path;
    }
    void TearDown() override
    {
        if (m_module != nullptr)
            FreeLibrary(m_module);
    }

    const BYTE* Resource(WORD type, WORD id, DWORD* size = nullptr)
    {
        HRSRC resource = FindResourceA(m_module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(type));
        if (resource == nullptr)
            return nullptr;
        if (size != nullptr)
            *size = SizeofResource(m_module, resource);
        return static_cast<const BYTE*>(LockResource(LoadResource(m_module, resource)));
    }

    DialogTemplate Dialog(WORD id)
    {
        const BYTE* data = Resource(5, id); // RT_DIALOG
        EXPECT_NE(nullptr, data) << "dialog " << id;
        return data != nullptr ? TemplateReader(data).Read() : DialogTemplate();
    }

    std::string m_path;
    HMODULE m_module = nullptr;
};

void ExpectControls(const std::vector<Control>& expected, const std::vector<Control>& actual, bool checkText6 = true)
{
    ASSERT_EQ(expected.size(), actual.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const Control& e = expected[i];
        const Control& a = actual[i];
        SCOPED_TRACE("control " + std::to_string(i + 1));
        EXPECT_EQ(e.windowClass, a.windowClass);
        EXPECT_EQ(e.id, a.id);
        if (checkText6 || i != 5) {
            EXPECT_EQ(e.text, a.text);
        }
        EXPECT_EQ(e.x, a.x);
        EXPECT_EQ(e.y, a.y);
        EXPECT_EQ(e.cx, a.cx);
        EXPECT_EQ(e.cy, a.cy);
        EXPECT_EQ(e.style, a.style) << std::hex << "expected 0x" << e.style << ", got 0x" << a.style;
    }
}

TEST_F(LauncherResources, MainDialogIsTheExtendedTemplate102)
{
    const DialogTemplate t = Dialog(102);
    EXPECT_TRUE(t.extended);
    EXPECT_EQ(0x90C800C0u, t.style);
    EXPECT_EQ(0x00040000u, t.exStyle);
    EXPECT_EQ(0, t.x);
    EXPECT_EQ(0, t.y);
    EXPECT_EQ(296, t.cx);
    EXPECT_EQ(191, t.cy);
    EXPECT_EQ(Ordinal(0), t.menu);
    EXPECT_EQ(Ordinal(0), t.windowClass);
    EXPECT_EQ("Codec Configuration", t.caption);
    EXPECT_EQ(8, t.pointSize);
    EXPECT_EQ("MS Sans Serif", t.typeface);
    EXPECT_EQ(400, t.weight);
    EXPECT_EQ(0, t.italic);
    EXPECT_EQ(1, t.charset); // DEFAULT_CHARSET

    const std::vector<Control> controls = {
        {kButton, -1, Text("Settings"), 7, 7, 282, 40, 0x50000007},
        {kButton, 1000, Text("&Configure..."), 25, 22, 65, 14, 0x58010000},
        {kStatic, -1, Text("Configure compression settings for the system"), 109, 22, 169, 14, 0x50020200},
        {kButton, -1, Text("Product Information"), 7, 51, 282, 40, 0x50000007},
        {kButton, 1001, Text("&About Codec..."), 25, 67, 65, 14, 0x58010000},
        {kStatic, -1, Text(""), 109, 67, 169, 14, 0x50020200},
        {kButton, 1, Text("Exit"), 120, 170, 54, 14, 0x50010001},
    };
    ExpectControls(controls, t.controls, false);
    ASSERT_EQ(7u, t.controls.size());
    const std::string aboutCodecText = t.controls[5].text.text;
    EXPECT_NE(std::string::npos, aboutCodecText.find("version")) << aboutCodecText;
}

TEST_F(LauncherResources, AboutBoxIsTheClassicTemplate100)
{
    const DialogTemplate t = Dialog(100);
    EXPECT_FALSE(t.extended);
    EXPECT_EQ(0x80C800C0u, t.style);
    EXPECT_EQ(0u, t.exStyle);
    EXPECT_EQ(0, t.x);
    EXPECT_EQ(0, t.y);
    EXPECT_EQ(235, t.cx);
    EXPECT_EQ(66, t.cy);
    EXPECT_EQ(Ordinal(0), t.menu);
    EXPECT_EQ(Ordinal(0), t.windowClass);
    EXPECT_EQ("About Ferrotune", t.caption);
    EXPECT_EQ(8, t.pointSize);
    EXPECT_EQ("MS Sans Serif", t.typeface);

    const std::vector<Control> controls = {
        {kStatic, -1, Ordinal(128), 11, 17, 20, 20, 0x50000003},
        {kStatic, -1, Text("Ferrotune Version 1.01"), 40, 15, 119, 8, 0x50020080},
        {kButton, 1, Text("OK"), 178, 7, 50, 14, 0x50030001},
    };
    ExpectControls(controls, t.controls);
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colorCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInRes;
    WORD id;
};
#pragma pack(pop)

TEST_F(LauncherResources, IconHas32And16PixelImagesOf16Colours)
{
    const BYTE* group = Resource(14, 128); // RT_GROUP_ICON
    ASSERT_NE(nullptr, group);
    const WORD* header = reinterpret_cast<const WORD*>(group);
    EXPECT_EQ(1, header[1]); // an icon, not a cursor
    ASSERT_EQ(2, header[2]);
    const GroupIconEntry* entries = reinterpret_cast<const GroupIconEntry*>(group + 6);
    const BYTE sizes[] = {32, 16};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE("image " + std::to_string(sizes[i]));
        EXPECT_EQ(sizes[i], entries[i].width);
        EXPECT_EQ(sizes[i], entries[i].height);
        EXPECT_EQ(16, entries[i].colorCount);
        EXPECT_EQ(4, entries[i].bitCount);
        const BITMAPINFOHEADER* image =
            reinterpret_cast<const BITMAPINFOHEADER*>(Resource(3, entries[i].id)); // RT_ICON
        ASSERT_NE(nullptr, image);
        EXPECT_EQ(sizes[i], image->biWidth);
        EXPECT_EQ(2 * sizes[i], image->biHeight); // colour rows and mask rows
        EXPECT_EQ(4, image->biBitCount);
    }
}

TEST_F(LauncherResources, SystemMenuTextIsString101AndThereIsNoTitleString)
{
    char text[64];
    EXPECT_EQ(19, LoadStringA(m_module, 101, text, sizeof(text)));
    EXPECT_STREQ("&About Ferrotune...", text);
    EXPECT_EQ(0, LoadStringA(m_module, 0xE000, text, sizeof(text))) << "the title comes from the file name";
}

TEST_F(LauncherResources, FileAndProductVersionAre1_1_0_2)
{
    DWORD ignored;
    const DWORD size = GetFileVersionInfoSizeA(m_path.c_str(), &ignored);
    ASSERT_NE(0u, size);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(m_path.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &length));
    EXPECT_EQ(0x00010001u, info->dwFileVersionMS);
    EXPECT_EQ(0x00000002u, info->dwFileVersionLS);
    EXPECT_EQ(0x00010001u, info->dwProductVersionMS);
    EXPECT_EQ(0x00000002u, info->dwProductVersionLS);
}

} // namespace
