// The About box: where it opens, what it shows, and what closes it.
#include <cstring>
#include <string>

#include "ui_test_support.h"

namespace {

const char AboutCaption[] = "Decrimp 95 v. 1.0";

INT_PTR CALLBACK IgnoreAll(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// Dialog units of the box's font, 8 point "MS Sans Serif", turned into pixels by a
// hidden dialog of our own with that font: MapDialogRect does not work on
// another process's window under Wine. Maps x, y, width and height each alone,
// as the dialog manager does.
RECT DialogUnitsToPixels(int x, int y, int width, int height) {
    alignas(4) WORD buffer[64] = {};
    DLGTEMPLATE* dialog = reinterpret_cast<DLGTEMPLATE*>(buffer);
    dialog->style = DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION;
    dialog->cx = 100;
    dialog->cy = 100;
    WORD* at = reinterpret_cast<WORD*>(dialog + 1);
    at += 3;    // no menu, the standard class, no caption
    *at++ = 8;  // point size
    const char face[] = "MS Sans Serif";
    for (const char* c = face; *c != '\0'; c++) *at++ = static_cast<WORD>(*c);
    RECT rect = {x, y, width, height};
    HWND hidden = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), dialog, nullptr,
                                             IgnoreAll, 0);
    if (hidden == nullptr || !MapDialogRect(hidden, &rect)) rect = {-1, -1, -1, -1};
    if (hidden != nullptr) DestroyWindow(hidden);
    return rect;
}

// With DS_3DLOOK the dialog manager turns a control's WS_BORDER into a sunken
// client edge; put it back to compare with the template.
LONG TemplateStyle(HWND control) {
    LONG style = GetWindowLongA(control, GWL_STYLE);
    if (GetWindowLongA(control, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) style |= WS_BORDER;
    return style;
}

int CountOf(const std::string& text, const char* part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        count++;
    return count;
}

std::string Lines(const std::string& text, std::string* lines, int capacity, int* count) {
    *count = 0;
    size_t start = 0;
    for (;;) {
        size_t end = text.find('\n', start);
        if (*count < capacity) lines[*count] = text.substr(start, end - start);
        (*count)++;
        if (end == std::string::npos) return "";
        start = end + 1;
    }
}

// Each returns "" when the control's text has the shape the box promises.
std::string IsOk(HWND control) {
    char text[16];
    ReadWindowText(control, text, sizeof text);
    return strcmp(text, "OK") == 0 ? "" : "text \"" + std::string(text) + "\", not OK";
}

std::string NamesBitmap102(HWND control) {
    WCHAR text[8] = {};
    SendMessageTimeoutW(control, WM_GETTEXT, 8, reinterpret_cast<LPARAM>(text),
                        SMTO_NORMAL, SendTimeoutMs, nullptr);
    // An ordinal text reads back as 0xFFFF or, through the ANSI dialog calls, 0xFF;
    // in the UTF-8 code page that lone 0xFF byte becomes the replacement character.
    bool ordinal = text[0] == 0xFFFF || text[0] == 0xFF || text[0] == 0xFFFD;
    if (!ordinal || text[1] != 102)
        return "expected resource number 102, got text starting " + std::to_string(text[0]) +
               "," + std::to_string(text[1]);
    if (SendTo(control, STM_GETIMAGE, IMAGE_BITMAP, 0) == 0) return "shows no bitmap";
    return "";
}

std::string TextOf(HWND control) {
    char text[1024];
    ReadWindowText(control, text, sizeof text);
    return text;
}

std::string IsCreditAndNote(HWND control) {
    std::string text = TextOf(control);
    if (text.compare(0, 10, "Decrimp 95") != 0) return "does not open with Decrimp 95";
    if (text.find('\r') != std::string::npos) return "has a carriage return";
    size_t gap = text.find("\n\n");
    if (gap == std::string::npos || gap == 0 || gap + 2 >= text.size() ||
        CountOf(text, "\n") != 2)
        return "is not two paragraphs apart by one empty line: " + text;
    return "";
}

std::string IsContactDetails(HWND control) {
    std::string text = TextOf(control);
    if (text.find('\r') != std::string::npos) return "has a carriage return";
    std::string lines[10];
    int count = 0;
    Lines(text, lines, 10, &count);
    if (count != 10) return "has " + std::to_string(count) + " lines, not 10: " + text;
    for (int i = 0; i < 10; i++) {
        bool gap = i == 1 || i == 3 || i == 5;
        if (gap != lines[i].empty()) return "line " + std::to_string(i + 1) + " misplaced";
        if (!gap && (lines[i].size() < 2 || lines[i][0] != ' ' || lines[i][1] == ' '))
            return "line " + std::to_string(i + 1) + " does not begin with one space";
    }
    if (lines[4].find('@') == std::string::npos) return "line 5 is no e-mail address";
    return "";
}

std::string IsAcknowledgement(HWND control) {
    std::string text = TextOf(control);
    std::string lines[2];
    int count = 0;
    Lines(text, lines, 2, &count);
    if (text.find('\r') != std::string::npos) return "has a carriage return";
    if (count != 2 || lines[0].empty() || lines[1].empty()) return "is not two lines: " + text;
    return "";
}

struct ExpectedControl {
    const char* what;
    const char* className;
    int id;
    std::string (*checkText)(HWND);
    LONG style;
    int x, y, width, height;  // dialog units
};

const ExpectedControl AboutControls[] = {
    {"OK button", "Button", IDOK, IsOk, 0x50010001, 252, 101, 50, 14},
    {"picture", "Static", 0xFFFF, NamesBitmap102, 0x5080100E, 262, 15, 55, 54},
    {"credit", "Static", 0xFFFF, IsCreditAndNote, 0x50020000, 7, 7, 245, 48},
    {"contact", "Static", 0xFFFF, IsContactDetails, 0x5082100C, 45, 57, 170, 93},
    {"thanks", "Static", 0xFFFF, IsAcknowledgement, 0x50020000, 19, 154, 254, 27},
};
const int AboutControlCount = sizeof AboutControls / sizeof AboutControls[0];

// The picture control takes the size of its 78 by 84 bitmap, whatever its rectangle.
const int PictureWidth = 78;
const int PictureHeight = 84;

POINT ClientOrigin(HWND hwnd) {
    POINT origin = {0, 0};
    ClientToScreen(hwnd, &origin);
    return origin;
}

// Everything a user sees of the box, as text, to compare two showings.
std::string Describe(HWND about) {
    char line[1400];
    RECT frame;
    GetWindowRect(about, &frame);
    std::string text = TextOf(about);
    wsprintfA(line, " at %ld,%ld size %ldx%ld style %08lx\n", frame.left, frame.top,
              frame.right - frame.left, frame.bottom - frame.top,
              GetWindowLongA(about, GWL_STYLE));
    text += line;
    ControlInfo controls[8];
    int count = ReadChildControls(about, controls, 8);
    for (int i = 0; i < count; i++) {
        const ControlInfo& c = controls[i];
        wsprintfA(line, "%s %d %08lx %08lx %ld,%ld,%ld,%ld %s\n", c.className, c.id, c.style,
                  GetWindowLongA(c.hwnd, GWL_EXSTYLE), c.rect.left, c.rect.top, c.rect.right,
                  c.rect.bottom, c.text);
        text += line;
    }
    return text;
}

class AboutBox : public ProgramTest {
protected:
    // File/About, then the box once it shows.
    HWND OpenAbout() {
        PostCommand(main, CommandAbout);
        HWND about = WaitForOwnedDialog(main);
        EXPECT_NE(nullptr, about) << "expected File/About to show a box";
        if (about != nullptr) {
            EXPECT_EQ(AboutCaption, TextOf(about));
        }
        return about;
    }

    void ExpectClosed(HWND about) {
        EXPECT_TRUE(WaitForWindowGone(about)) << "expected the box to close";
        EXPECT_TRUE(WaitForEnabled(main, TRUE)) << "expected the main window enabled again";
        EXPECT_TRUE(IsRunning(&guard.program));
    }
};

}  // namespace

TEST_F(AboutBox, OpensModalAtTheClientOriginOfTheMainWindowWhereverItIs) {
    const POINT places[] = {{-1, -1}, {230, 170}, {12, 300}};  // -1: where it started
    for (const POINT& place : places) {
        SCOPED_TRACE(testing::Message() << "main window at " << place.x << "," << place.y);
        if (place.x >= 0) {
            ASSERT_TRUE(SetWindowPos(main, nullptr, place.x, place.y, 0, 0,
                                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));
        }
        HWND about = OpenAbout();
        ASSERT_NE(nullptr, about);
        EXPECT_EQ(main, GetWindow(about, GW_OWNER)) << "owner";
        POINT box = ClientOrigin(about);
        POINT client = ClientOrigin(main);
        EXPECT_EQ(client.x, box.x) << "the box's client area starts at the main window's";
        EXPECT_EQ(client.y, box.y) << "the box's client area starts at the main window's";
        EXPECT_FALSE(IsWindowEnabled(main)) << "the main window must take no input";
        EXPECT_EQ(GetDlgItem(about, IDOK), FocusOf(about)) << "focus on the only tab stop";
        ClickControl(about, IDOK);
        ExpectClosed(about);
    }
}

TEST_F(AboutBox, ShowsTheFiveControlsOfItsTemplate) {
    HWND about = OpenAbout();
    ASSERT_NE(nullptr, about);
    RECT size = DialogUnitsToPixels(0, 0, 336, 198);
    RECT client;
    GetClientRect(about, &client);
    EXPECT_EQ(size.right, client.right) << "client width in pixels";
    EXPECT_EQ(size.bottom, client.bottom) << "client height in pixels";

    ControlInfo controls[8];
    int count = ReadChildControls(about, controls, 8);
    ASSERT_EQ(AboutControlCount, count) << "controls in the box";
    for (int i = 0; i < count; i++) {
        const ExpectedControl& want = AboutControls[i];
        const ControlInfo& got = controls[i];
        SCOPED_TRACE(testing::Message() << "control " << i + 1 << ", " << want.what);
        EXPECT_STRCASEEQ(want.className, got.className);
        EXPECT_EQ(want.id, got.id) << "identifier";
        EXPECT_EQ("", want.checkText(got.hwnd)) << "text";
        EXPECT_EQ(want.style, TemplateStyle(got.hwnd)) << std::hex << "style 0x" << got.style;
        RECT pixels = DialogUnitsToPixels(want.x, want.y, want.width, want.height);
        bool picture = want.checkText == NamesBitmap102;
        EXPECT_EQ(pixels.left, got.rect.left) << "x in pixels";
        EXPECT_EQ(pixels.top, got.rect.top) << "y in pixels";
        EXPECT_EQ(picture ? PictureWidth : pixels.right, got.rect.right - got.rect.left)
            << "width in pixels";
        EXPECT_EQ(picture ? PictureHeight : pixels.bottom, got.rect.bottom - got.rect.top)
            << "height in pixels";
    }
    ClickControl(about, IDOK);
    ExpectClosed(about);
}

TEST_F(AboutBox, OkEnterAndSpaceCloseIt) {
    const char* ways[] = {"click on OK", "Enter", "Space on OK"};
    for (const char* way : ways) {
        SCOPED_TRACE(way);
        HWND about = OpenAbout();
        ASSERT_NE(nullptr, about);
        if (way == ways[0]) {
            ClickControl(about, IDOK);
        } else {
            PressKey(about, way == ways[1] ? VK_RETURN : VK_SPACE);
        }
        ExpectClosed(about);
    }
}

TEST_F(AboutBox, EscapeAltF4AndTheCloseBoxLeaveItOpen) {
    HWND about = OpenAbout();
    ASSERT_NE(nullptr, about);
    HWND ok = GetDlgItem(about, IDOK);
    const char* ways[] = {"Escape", "Alt+F4", "close box"};
    for (const char* way : ways) {
        SCOPED_TRACE(way);
        if (way == ways[0]) {
            PressKey(about, VK_ESCAPE);
        } else if (way == ways[1]) {
            PostMessageA(ok, WM_SYSKEYDOWN, VK_F4, (KF_ALTDOWN << 16) | 1);
        } else {
            PostMessageA(about, WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        ASSERT_TRUE(SettleQueue(ok)) << "the box did not answer";
        EXPECT_TRUE(IsWindowVisible(about)) << "expected the box still open";
        EXPECT_FALSE(IsWindowEnabled(main)) << "expected the main window still disabled";
    }
    ClickControl(about, IDOK);
    ExpectClosed(about);
}

TEST_F(AboutBox, SecondShowingEqualsTheFirst) {
    std::string shown[2];
    for (std::string& description : shown) {
        HWND about = OpenAbout();
        ASSERT_NE(nullptr, about);
        description = Describe(about);
        ClickControl(about, IDOK);
        ExpectClosed(about);
    }
    EXPECT_EQ(shown[0], shown[1]);
}

TEST_F(AboutBox, LeavesTheSelectionTheListAndTheModeAlone) {
    MakeFile("a.mp3", "1\r\n2\r\n");
    Click(ControlGenerate);
    const char* names[] = {"a.mp3"};
    ASSERT_TRUE(OpenFiles(main, folder, names, 1));
    HWND about = OpenAbout();
    ASSERT_NE(nullptr, about);
    ClickControl(about, IDOK);
    ExpectClosed(about);
    EXPECT_EQ("overwrite=0 generate=1", Marks());
    EXPECT_EQ(PathOf("a.mp3"), ListText());
    ClickButton(Control(ControlRun));
    HWND box;
    EXPECT_EQ("File is Decrimped!: " + PathOf("Copy of a.mp3"), NextBox(&box));
    Dismiss(box);
    EXPECT_EQ("1\n2\n", BytesOf("Copy of a.mp3"));
}
