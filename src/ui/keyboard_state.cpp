#include "ui/keyboard_state.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMetaObject>

#ifdef CORVEL_HAVE_XKB
// After Qt: Xlib's macros (None, Bool, Status, KeyPress...) would clash with Qt's names.
#include <X11/XKBlib.h>
#include <xcb/xcb.h>
#endif

namespace corvel {
namespace {

class OwnState final : public KeyboardState {
 public:
  bool shiftDown() const override { return shift_; }
  bool capsLockOn() const override { return capsLock_; }

  void ToggleShift() override {
    shift_ = !shift_;
    emit changed();
  }
  void ReleaseShift() override {
    if (!shift_) return;
    shift_ = false;
    emit changed();
  }
  void ToggleCapsLock() override {
    capsLock_ = !capsLock_;
    emit changed();
  }
  void setWatching(bool /*watching*/) override {}
  bool isSystemState() const override { return false; }

 private:
  bool shift_ = false;
  bool capsLock_ = false;
};

#ifdef CORVEL_HAVE_XKB

// The X server's keyboard state. The soft Shift key locks the Shift modifier rather than
// latching it: a latch would last through any number of soft key clicks (they are no X key
// events) and then vanish at the first physical key, whereas a lock holds Shift for soft and
// physical keys alike until the soft Shift is clicked again or the keyboard hides, as a held
// Shift key does. Labels read Shift from the effective modifiers, so a physically held Shift
// shows as well.
class XkbState final : public KeyboardState, private QAbstractNativeEventFilter {
 public:
  XkbState(Display* display, int xkbEventBase) : display_(display), xkbEventBase_(xkbEventBase) {
    // Qt asks for state notifications on the same connection already; asking for these two
    // details as well keeps this working whatever Qt selects.
    const unsigned long details = XkbModifierStateMask | XkbModifierLockMask;
    XkbSelectEventDetails(display_, XkbUseCoreKbd, XkbStateNotify, details, details);
    Refresh();
  }
  ~XkbState() override { setWatching(false); }

  bool shiftDown() const override { return (effective_ & ShiftMask) != 0; }
  bool capsLockOn() const override { return (locked_ & LockMask) != 0; }

  void ToggleShift() override {
    Refresh();
    if (shiftDown()) {
      LetGoOfShift();
    } else {
      XkbLockModifiers(display_, XkbUseCoreKbd, ShiftMask, ShiftMask);
    }
    Refresh();
  }

  void ReleaseShift() override {
    Refresh();
    if (((locked_ | latched_) & ShiftMask) == 0) return;
    LetGoOfShift();
    Refresh();
  }

  void ToggleCapsLock() override {
    Refresh();
    XkbLockModifiers(display_, XkbUseCoreKbd, LockMask, capsLockOn() ? 0 : LockMask);
    Refresh();
  }

  void setWatching(bool watching) override {
    if (watching == watching_) return;
    watching_ = watching;
    if (watching) {
      QCoreApplication::instance()->installNativeEventFilter(this);
      Refresh();
    } else {
      QCoreApplication::instance()->removeNativeEventFilter(this);
    }
  }

  bool isSystemState() const override { return true; }

 private:
  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* /*result*/) override {
    if (eventType != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    // pad0 carries the XKB event's own type.
    const bool xkbStateChange =
        (event->response_type & 0x7f) == xkbEventBase_ && event->pad0 == XkbStateNotify;
    if (xkbStateChange && !refreshQueued_) {
      // Read back later, outside Qt's event dispatch; a burst of notifications costs one read.
      refreshQueued_ = true;
      QMetaObject::invokeMethod(
          this,
          [this] {
            refreshQueued_ = false;
            Refresh();
          },
          Qt::QueuedConnection);
    }
    return false;  // Qt keeps its own keyboard state up to date from the same events
  }

  void LetGoOfShift() {
    XkbLatchModifiers(display_, XkbUseCoreKbd, ShiftMask, 0);
    XkbLockModifiers(display_, XkbUseCoreKbd, ShiftMask, 0);
  }

  // The requests before it have been handled when the server answers, so this reads their effect.
  void Refresh() {
    XkbStateRec state{};
    if (XkbGetState(display_, XkbUseCoreKbd, &state) != Success) return;
    const bool wasShift = shiftDown();
    const bool wasCapsLock = capsLockOn();
    effective_ = state.mods;
    locked_ = state.locked_mods;
    latched_ = state.latched_mods;
    if (wasShift != shiftDown() || wasCapsLock != capsLockOn()) emit changed();
  }

  Display* display_;  // Qt's connection, owned by Qt
  int xkbEventBase_;
  bool watching_ = false;
  bool refreshQueued_ = false;
  unsigned effective_ = 0;
  unsigned locked_ = 0;
  unsigned latched_ = 0;
};

std::unique_ptr<KeyboardState> X11State() {
  auto* application = qGuiApp;
  if (application == nullptr) return nullptr;
  auto* x11 = application->nativeInterface<QNativeInterface::QX11Application>();
  if (x11 == nullptr || x11->display() == nullptr) return nullptr;
  int opcode = 0;
  int eventBase = 0;
  int errorBase = 0;
  int major = XkbMajorVersion;
  int minor = XkbMinorVersion;
  if (!XkbQueryExtension(x11->display(), &opcode, &eventBase, &errorBase, &major, &minor)) {
    return nullptr;
  }
  return std::make_unique<XkbState>(x11->display(), eventBase);
}

#endif

}  // namespace

std::unique_ptr<KeyboardState> SystemKeyboardState() {
#ifdef CORVEL_HAVE_XKB
  if (std::unique_ptr<KeyboardState> x11 = X11State()) return x11;
#endif
  return OwnKeyboardState();
}

std::unique_ptr<KeyboardState> OwnKeyboardState() {
  return std::make_unique<OwnState>();
}

}  // namespace corvel
