// The compiled resources, read back from the module as the platform reads them.
#include "tests/program/fixture.h"

#include <string>

static std::string Utf16(const WORD*& p) {
    std::string out;
    while (*p) out += (char)*p++;
    ++p;
    return out;
}

// A class or caption field: an ordinal (0xFFFF, value) or a string.
static std::string NameOrOrdinal(const WORD*& p) {
    if (*p == 0xFFFF) {
        WORD ordinal = p[1];
        p += 2;
        switch (ordinal) {
        case 0x80: return "Button";
        case 0x81: return "Edit";
        case 0x82: return "Static";
        case 0x85: return "ComboBox";
        default: return "#" + std::to_string(ordinal);
        }
    }
    return Utf16(p);
}

TEST(Resources, DialogTemplateExactly) {
    HRSRC found = FindResourceExA(0, (LPCSTR)RT_DIALOG, MAKEINTRESOURCEA(IDD_CONFIG),
                                  MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_TRUE(found != 0);
    const DLGTEMPLATE* t = (const DLGTEMPLATE*)LockResource(LoadResource(0, found));
    EXPECT_EQ((DWORD)(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_SETFONT | DS_CENTER), t->style);
    EXPECT_EQ(0u, t->dwExtendedStyle);
    ASSERT_EQ(31, t->cdit);
    EXPECT_EQ(0, t->x);
    EXPECT_EQ(0, t->y);
    EXPECT_EQ(257, t->cx);
    EXPECT_EQ(236, t->cy);
    const WORD* p = (const WORD*)(t + 1);
    EXPECT_EQ(0, *p++) << "no menu";
    EXPECT_EQ(0, *p++) << "the default class";
    EXPECT_EQ("Harkwin Configuration", Utf16(p));
    EXPECT_EQ(8, *p++);
    EXPECT_EQ("MS Sans Serif", Utf16(p));

    const DWORD C = WS_CHILD | WS_VISIBLE, TAB = WS_TABSTOP, LABEL = C | WS_GROUP | SS_RIGHT;
    const DWORD EDIT = C | WS_BORDER | TAB | ES_LEFT | ES_AUTOHSCROLL, CHECK = C | TAB | BS_AUTOCHECKBOX;
    const DWORD PICKER = C | WS_VSCROLL | TAB | CBS_DROPDOWNLIST | CBS_SORT;
    struct Row {
        int id;
        const char* cls;
        const char* caption;
        short x, y, w, h;
        DWORD style;
    } rows[] = {
        {IDOK, "Button", "&OK", 5, 215, 50, 14, C | TAB | BS_DEFPUSHBUTTON},
        {IDCANCEL, "Button", "&Cancel", 60, 215, 50, 14, C | TAB | BS_PUSHBUTTON},
        {-1, "Button", "Host information:", 5, 5, 245, 45, C | BS_GROUPBOX},
        {-1, "Static", "&Host name/IP address:", 10, 17, 75, 8, LABEL},
        {IDC_HOST, "Edit", "", 90, 15, 155, 12, EDIT},
        {IDC_RESOLVE, "Button", "&Resolve host name on every check", 10, 195, 125, 10, CHECK},
        {-1, "Static", "&Port number:", 45, 32, 40, 8, LABEL},  // right before its field, for Alt+P
        {IDC_PORT, "ComboBox", "", 90, 30, 65, 65,
         C | WS_VSCROLL | TAB | CBS_DROPDOWN | CBS_AUTOHSCROLL | CBS_NOINTEGRALHEIGHT},
        {-1, "Button", "Timing parameters:", 5, 55, 245, 45, C | BS_GROUPBOX},
        {-1, "Static", "Po&ll interval:", 45, 67, 40, 8, LABEL},
        {IDC_POLL, "Edit", "", 90, 65, 65, 12, EDIT | ES_NUMBER},
        {-1, "Static", "seconds (s)", 160, 66, 40, 8, C | WS_GROUP | SS_LEFT},
        {-1, "Static", "Fla&sh interval:", 40, 82, 45, 8, LABEL},
        {IDC_FLASH_INTERVAL, "Edit", "", 90, 80, 65, 12, EDIT | ES_NUMBER},
        {-1, "Static", "milliseconds (ms)", 160, 81, 55, 8, C | WS_GROUP | SS_LEFT},
        {-1, "Button", "Miscellaneous", 5, 185, 245, 25, C | BS_GROUPBOX},
        {IDC_APPLY, "Button", "&Apply", 115, 215, 50, 14, C | TAB | BS_PUSHBUTTON},
        {IDC_EXIT, "Button", "E&xit", 200, 215, 50, 14, C | TAB | BS_PUSHBUTTON},
        {-1, "Button", "Status behaviors:", 5, 105, 245, 75, C | BS_GROUPBOX},
        {-1, "Static", "&Trying to connect:", 25, 117, 60, 8, LABEL},
        {IDC_FLASH_TRYING, "Button", "Flash", 160, 117, 30, 10, CHECK},
        {-1, "Static", "O&ffline:", 60, 132, 25, 8, LABEL},
        {IDC_FLASH_OFFLINE, "Button", "Flash", 160, 132, 30, 10, CHECK},
        {-1, "Static", "O&nline:", 60, 147, 25, 8, LABEL},
        {IDC_FLASH_ONLINE, "Button", "Flash", 160, 147, 30, 10, CHECK},
        {-1, "Static", "&Error:", 65, 162, 20, 8, LABEL},
        {IDC_FLASH_ERROR, "Button", "Flash", 160, 162, 30, 10, CHECK},
        {IDC_COLOUR_TRYING, "ComboBoxEx32", "", 90, 114, 65, 61, PICKER},
        {IDC_COLOUR_OFFLINE, "ComboBoxEx32", "", 90, 130, 65, 61, PICKER},
        {IDC_COLOUR_ONLINE, "ComboBoxEx32", "", 90, 145, 65, 61, PICKER},
        {IDC_COLOUR_ERROR, "ComboBoxEx32", "", 90, 160, 65, 61, PICKER},
    };
    for (const Row& r : rows) {
        p = (const WORD*)(((UINT_PTR)p + 3) & ~(UINT_PTR)3);
        const DLGITEMTEMPLATE* item = (const DLGITEMTEMPLATE*)p;
        std::string where = r.caption[0] ? r.caption : r.cls;
        EXPECT_EQ(r.style, item->style) << where;
        EXPECT_EQ(0u, item->dwExtendedStyle) << where;
        EXPECT_EQ(r.x, item->x) << where;
        EXPECT_EQ(r.y, item->y) << where;
        EXPECT_EQ(r.w, item->cx) << where;
        EXPECT_EQ(r.h, item->cy) << where;
        EXPECT_EQ((WORD)r.id, item->id) << where;
        p = (const WORD*)(item + 1);
        std::string cls = NameOrOrdinal(p);
        EXPECT_EQ(0, lstrcmpiA(r.cls, cls.c_str())) << where << ": " << cls;  // class names ignore case
        EXPECT_EQ(r.caption, NameOrOrdinal(p)) << where;
        EXPECT_EQ(0, *p++) << where << ": no creation data";
    }
}

TEST(Resources, TrayMenuAndIcons) {
    HMENU menu = LoadMenuA(GetModuleHandleA(0), MAKEINTRESOURCEA(IDR_TRAYMENU));
    ASSERT_TRUE(menu != 0);
    EXPECT_EQ(1, GetMenuItemCount(menu));
    HMENU popup = GetSubMenu(menu, 0);
    ASSERT_EQ(3, GetMenuItemCount(popup));
    struct Row {
        UINT id;
        const char* text;
        bool separator;
    } rows[] = {{ID_TRAY_CONFIGURATION, "&Configuration", false}, {0, "", true}, {ID_TRAY_EXIT, "E&xit", false}};
    for (int i = 0; i < 3; ++i) {
        char text[64] = "";
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof text;
        ASSERT_TRUE(GetMenuItemInfoA(popup, i, TRUE, &info));
        EXPECT_EQ(rows[i].separator, (info.fType & MFT_SEPARATOR) != 0) << i;
        EXPECT_EQ(rows[i].text, std::string(text)) << i;
        if (rows[i].separator) continue;
        EXPECT_EQ(rows[i].id, info.wID) << i;
        EXPECT_EQ(0u, info.fState & (MFS_CHECKED | MFS_DISABLED | MFS_DEFAULT)) << i;
    }
    DestroyMenu(menu);
    for (int id : {IDI_APP, IDI_GREEN, IDI_RED, IDI_YELLOW})
        EXPECT_TRUE(FindResourceExA(0, (LPCSTR)RT_GROUP_ICON, MAKEINTRESOURCEA(id),
                                    MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)) != 0)
            << id;
}

// The built Harkwin.exe when the suite is told where it is, else this module's own copy.
static HMODULE ProgramModule() {
    const char* exe = getenv("HARKWIN_EXE");
    if (!exe) return 0;
    std::string path = exe;
    if (path[0] == '/') {
        path = "Z:" + path;
        for (char& c : path)
            if (c == '/') c = '\\';
    }
    HMODULE module = LoadLibraryExA(path.c_str(), 0, LOAD_LIBRARY_AS_DATAFILE);
    EXPECT_TRUE(module != 0) << path;
    return module;
}

TEST(Resources, VersionBlock) {
    HMODULE module = ProgramModule();
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), (LPCSTR)RT_VERSION);
    ASSERT_TRUE(found != 0);
    DWORD size = SizeofResource(module, found);
    std::vector<char> copy(size * 2);
    memcpy(copy.data(), LockResource(LoadResource(module, found)), size);
    VS_FIXEDFILEINFO* fixed = 0;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(copy.data(), "\\", (void**)&fixed, &length));
    EXPECT_EQ(0x00010000u, fixed->dwFileVersionMS);
    EXPECT_EQ(0u, fixed->dwFileVersionLS);
    EXPECT_EQ(0x00010000u, fixed->dwProductVersionMS);
    EXPECT_EQ(0x3Fu, fixed->dwFileFlagsMask);
    EXPECT_EQ(0u, fixed->dwFileFlags);
    EXPECT_EQ(0x40004u, fixed->dwFileOS);
    EXPECT_EQ((DWORD)VFT_APP, fixed->dwFileType);
    struct Row {
        const char* key;
        const char* value;
    } rows[] = {{"Comments", ""},
                {"CompanyName", ""},
                {"FileDescription", "Harkwin Executable"},
                {"FileVersion", "1, 0, 0, 0"},
                {"InternalName", "Harkwin"},
                {"LegalTrademarks", ""},
                {"OriginalFilename", "Harkwin.exe"},
                {"PrivateBuild", ""},
                {"ProductName", "Harkwin"},
                {"ProductVersion", "1, 0, 0, 0"},
                {"SpecialBuild", ""}};
    for (const Row& r : rows) {
        char* value = 0;
        std::string path = std::string("\\StringFileInfo\\040904b0\\") + r.key;
        ASSERT_TRUE(VerQueryValueA(copy.data(), path.c_str(), (void**)&value, &length)) << r.key;
        EXPECT_EQ(r.value, std::string(value && length ? value : "")) << r.key;
    }
    WORD* translation = 0;
    ASSERT_TRUE(VerQueryValueA(copy.data(), "\\VarFileInfo\\Translation", (void**)&translation, &length));
    EXPECT_EQ(0x409, translation[0]);
    EXPECT_EQ(1200, translation[1]);
}
