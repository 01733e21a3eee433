// Where everything sits on the main window's skin (images 130 normal, 131 hover, 129 pressed) and
// which slices of image 130 frame the skinned dialogs. The skin generator paints each button face
// at its rectangle here and the window cuts the faces out of the three skins with the same
// rectangles, so this table is the only place the two agree on.
#pragma once

namespace corvel::layout {

// Right and bottom are exclusive.
struct Rect {
  int left, top, right, bottom;

  constexpr int width() const { return right - left; }
  constexpr int height() const { return bottom - top; }
  constexpr bool contains(int x, int y) const {
    return x >= left && x < right && y >= top && y < bottom;
  }
};

struct Size {
  int width, height;
};

struct Rgb {
  int red, green, blue;
};

enum class Kind {
  kButton,  // has normal, hover and pressed faces in 130, 131 and 129
  kEdit,    // a field drawn in the art; the window puts a frameless edit on it
  kLink,    // plain text the window draws; nothing in the art
};

// What the window draws over a face: nothing (the art carries the label), or the caption in
// kCaptionDark or kCaptionLight with a 10-pt CJK font, centred in the rectangle, in every state.
enum class Ink { kNone, kDark, kLight };

struct ControlPlace {
  int id;
  Rect rect;
  const char* role;
  Kind kind;
  const char* caption;  // UTF-8; nullptr when the art carries the label
  Ink ink;
};

// The skin covers the window from its origin; the rows below it show kWindowBackground.
inline constexpr Size kWindowSize{283, 590};
inline constexpr Size kSkinSize{283, 580};
// Corners are hidden by a rounded mask of this size, as for every skinned window.
inline constexpr int kCornerMask = 15;

inline constexpr Rect kTitleText{20, 10, 220, 32};
inline constexpr int kTitleLineY = 32;
inline constexpr Rect kLogo{15, 35, 105, 115};  // image 137 goes here; the skin shows it too

// Four lines of account text, drawn by the window in kAccountInk; the art leaves them plain.
inline constexpr int kAccountLinesX = 112;
inline constexpr int kAccountLineTops[] = {38, 55, 74, 93};
inline constexpr Rect kAccountArea{112, 35, 268, 115};

// The white panel the status view and the two lists cover. The art draws a 1-px rounded border
// one pixel outside it; the widgets should be frameless with a white background.
inline constexpr Rect kContentArea{16, 150, 266, 318};

// The number field (control 1013) and, inside it, where the frameless, transparent edit goes.
inline constexpr Rect kNumberBox{14, 358, 170, 386};
inline constexpr Rect kNumberEdit{20, 361, 164, 383};

inline constexpr Rect kLink{46, 550, 236, 567};

// The call and hang-up faces carry a handset left of centre, so their captions are drawn this
// many pixels right of centre.
inline constexpr int kCallCaptionShift = 10;

inline constexpr ControlPlace kMainWindowControls[] = {
    {1000, {235, 13, 250, 28}, "hide", Kind::kButton, nullptr, Ink::kNone},
    {1001, {253, 13, 268, 28}, "exit", Kind::kButton, nullptr, Ink::kNone},

    {1002, {14, 119, 76, 145}, "tab", Kind::kButton, "状态", Ink::kDark},
    {1003, {78, 119, 140, 145}, "tab", Kind::kButton, "通讯录", Ink::kDark},
    {1004, {142, 119, 204, 145}, "tab", Kind::kButton, "记录", Ink::kDark},
    {1005, {206, 119, 268, 145}, "tab", Kind::kButton, "消息", Ink::kDark},

    // 1006 reads "注销" while logged in.
    {1006, {14, 326, 62, 352}, "service", Kind::kButton, "登录", Ink::kLight},
    {1007, {65, 326, 114, 352}, "service", Kind::kButton, "充值", Ink::kLight},
    {1008, {117, 326, 165, 352}, "service", Kind::kButton, "回拨", Ink::kLight},
    {1009, {168, 326, 217, 352}, "service", Kind::kButton, "会议", Ink::kLight},
    {1010, {220, 326, 268, 352}, "service", Kind::kButton, "话单", Ink::kLight},

    {1011, {174, 358, 219, 386}, "clear", Kind::kButton, "清空", Ink::kDark},
    {1012, {223, 358, 268, 386}, "backspace", Kind::kButton, "退格", Ink::kDark},
    {1013, kNumberBox, "number", Kind::kEdit, nullptr, Ink::kNone},

    // The keys carry their digit and letters in the art.
    {1014, {14, 392, 96, 418}, "key-1", Kind::kButton, nullptr, Ink::kNone},
    {1015, {100, 392, 182, 418}, "key-2", Kind::kButton, nullptr, Ink::kNone},
    {1016, {186, 392, 268, 418}, "key-3", Kind::kButton, nullptr, Ink::kNone},
    {1017, {14, 422, 96, 448}, "key-4", Kind::kButton, nullptr, Ink::kNone},
    {1018, {100, 422, 182, 448}, "key-5", Kind::kButton, nullptr, Ink::kNone},
    {1019, {186, 422, 268, 448}, "key-6", Kind::kButton, nullptr, Ink::kNone},
    {1020, {14, 452, 96, 478}, "key-7", Kind::kButton, nullptr, Ink::kNone},
    {1021, {100, 452, 182, 478}, "key-8", Kind::kButton, nullptr, Ink::kNone},
    {1022, {186, 452, 268, 478}, "key-9", Kind::kButton, nullptr, Ink::kNone},
    {1023, {14, 482, 96, 508}, "key-star", Kind::kButton, nullptr, Ink::kNone},
    {1024, {100, 482, 182, 508}, "key-0", Kind::kButton, nullptr, Ink::kNone},
    {1025, {186, 482, 268, 508}, "key-hash", Kind::kButton, nullptr, Ink::kNone},

    {1026, {14, 514, 139, 544}, "call", Kind::kButton, "呼叫", Ink::kLight},
    {1027, {143, 514, 268, 544}, "hangup", Kind::kButton, "挂断", Ink::kLight},

    {1028, kLink, "link", Kind::kLink, "推荐给好友，获取高额提成！", Ink::kNone},
};

constexpr const ControlPlace* FindControl(int id) {
  for (const ControlPlace& place : kMainWindowControls) {
    if (place.id == id) return &place;
  }
  return nullptr;
}

// Text colours for what the window draws on the skins.
inline constexpr Rgb kCaptionDark{31, 45, 61};
inline constexpr Rgb kCaptionLight{255, 255, 255};
inline constexpr Rgb kTitleInk{31, 45, 61};  // main window and dialog titles
inline constexpr Rgb kAccountInk{31, 45, 61};
inline constexpr Rgb kLinkInk{29, 94, 150};
inline constexpr Rgb kPanelBackground{255, 255, 255};  // kContentArea and image 138's ground
// The ten rows under the skin: the colour of the frame's outer edge, so they read as its chin.
inline constexpr Rgb kWindowBackground{29, 78, 137};

// Skinned dialogs build their frame from these pieces of image 130. Edges stretch along their
// length (the art is uniform that way); the body is kDialogBody with a kDialogLine line at
// y 32 from x 10 to width - 10, and the title sits in (20, 10)-(width - 50, 32) in kTitleInk.
namespace frame {

inline constexpr int kThickness = 12;
inline constexpr int kCornerHeight = 30;
inline constexpr Rect kLeftEdge{0, 250, 12, 290};  // stretched vertically
inline constexpr Rect kRightEdge{270, 246, 282, 286};
inline constexpr Rect kTopEdge{40, 0, 80, 12};  // stretched horizontally
inline constexpr Rect kBottomEdge{40, 568, 80, 580};
inline constexpr Rect kTopLeft{0, 0, 40, 30};
inline constexpr Rect kTopRight{270, 0, 282, 30};
inline constexpr Rect kBottomLeft{0, 568, 40, 580};
inline constexpr Rect kBottomRight{270, 568, 282, 580};

inline constexpr Rgb kDialogBody{239, 239, 247};
inline constexpr Rgb kDialogLine{198, 206, 206};
inline constexpr int kDialogLineY = 32;

}  // namespace frame

}  // namespace corvel::layout
