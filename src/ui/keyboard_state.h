// Shift and Caps Lock as the soft keyboard sees them. On X11 they are the X server's own keyboard
// state (XKB), so the soft keys, their labels and the physical keyboard always agree; where there
// is no X11 display (Wayland, the offscreen platform of the tests) the keyboard keeps a state of
// its own. User-interface thread only.
#pragma once

#include <QObject>
#include <memory>

namespace corvel {

class KeyboardState : public QObject {
  Q_OBJECT

 public:
  ~KeyboardState() override = default;

  // Shift is down: held on the physical keyboard or held by the soft Shift key.
  virtual bool shiftDown() const = 0;
  virtual bool capsLockOn() const = 0;

  // The soft Shift key: holds Shift while it is up, lets it go while it is down.
  virtual void ToggleShift() = 0;
  // Lets go of a Shift held by the soft Shift key; a physically held Shift stays down.
  virtual void ReleaseShift() = 0;
  virtual void ToggleCapsLock() = 0;

  // While watching, changes made anywhere (the physical keyboard too) are noticed and signalled;
  // the keyboard watches only while it is shown, so a hidden keyboard costs nothing.
  virtual void setWatching(bool watching) = 0;

  // True when this state is the system's (X11), false for a state of its own.
  virtual bool isSystemState() const = 0;

 signals:
  // Shift or Caps Lock changed.
  void changed();
};

// The X server's keyboard state where the application runs on X11 with XKB, else an own state.
std::unique_ptr<KeyboardState> SystemKeyboardState();
// A state that lives only in this object: both keys up at the start.
std::unique_ptr<KeyboardState> OwnKeyboardState();

}  // namespace corvel
