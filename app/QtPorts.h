#pragma once
// The core's ports filled with Qt: message boxes and file dialogs, and the
// desktop's open, program start and sound.
#include "core/Ports.h"

#include <QPointer>
#include <QWidget>

#include <memory>


class TQtPrompt : public TPrompt {
public:
    explicit TQtPrompt(QWidget* parent = nullptr) : m_parent(parent) {}
    void Message(const std::string& text, Icon icon) override;
    Answer Ask(const std::string& text) override;
    std::optional<std::string> OpenFile(const std::string& title, const std::string& filter,
                                        const std::string& startDir) override;
    std::optional<std::string> SaveFile(const std::string& title, const std::string& proposedName,
                                        const std::string& filter) override;
    std::optional<std::string> PickFolder(const std::string& title, const std::string& startDir) override;

    // Whether a message box of this prompt is open (menus wait meanwhile).
    bool Showing() const { return m_showing > 0; }
    // The window a box waits over when no modal window is open (the main
    // window): only it and the modal window on top wait while a box is
    // open, so the tray icon keeps taking clicks.
    void SetOwner(QWidget* owner) { m_owner = owner; }

private:
    // Makes box modal to the window it is about.
    void ownModality(QWidget& box) const;

    QWidget* m_parent;
    QPointer<QWidget> m_owner;
    int m_showing = 0;
};

class TQtDesktop : public TDesktop {
public:
    // moduleDir: where the sound module lies; empty: beside the program,
    // or in lib/tolmu of an install.
    explicit TQtDesktop(std::string moduleDir = {});
    ~TQtDesktop() override;
    bool OpenUrl(const std::string& url) override;
    bool StartProgram(const std::string& program, const std::string& parameters) override;
    void PlaySound(const std::string& file) override;
    // Whether the sound module was found and loaded by a PlaySound.
    bool SoundModuleLoaded() const { return m_play != nullptr; }

private:
    using PlayFunction = void (*)(const char* file);
    PlayFunction m_play = nullptr; // from the sound module, once loaded
    bool m_loadTried = false;
    std::string m_moduleDir;
};

// Where window's frame stands on the screen. Under X11 the X server is
// asked (the window manager's frame, or the window itself without one): a
// window manager may leave Qt believing 0,0 for a window that was never
// moved. Elsewhere, and for a hidden window, Qt's own place.
QPoint FramePosition(QWidget& window);

// The mail program of the desktop's mailto handler: the first word of the
// Exec= line of the desktop entry that `xdg-mime query default
// x-scheme-handler/mailto` names, unquoted; "" when none is registered.
std::string DesktopMailProgram();
