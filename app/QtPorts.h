// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The core's ports filled with Qt: message boxes and file dialogs, and the
// desktop's open, program start and sound.
#include "core/window/Ports.h"

#include <QPointer>
#include <QWidget>

#include <memory>


class TQtPrompt : public TPrompt {
public:
    explicit TQtPrompt(QWidget* parent = nullptr) : m_parent(parent) {}
    void Message(const std::string& text, Icon icon) override;
    Answer Choose(const std::string& text, const std::string& first, const std::string& second) override;
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
    // Stops a sound still playing. Must run before QApplication goes (the
    // player uses Qt Multimedia's services, which go with it).
    ~TQtDesktop() override;
    bool OpenUrl(const std::string& url) override;
    bool StartProgram(const std::string& program, const std::string& parameters) override;
    void PlaySound(const std::string& file) override;
    void StartMailProgram(std::function<void(const std::string& problem)> done) override;
    // Whether the sound module was found and loaded by a PlaySound.
    bool SoundModuleLoaded() const { return m_player != nullptr; }

private:
    using PlayFunction = void (*)(QObject* player, const char* file);
    PlayFunction m_play = nullptr;     // from the sound module, once loaded
    std::unique_ptr<QObject> m_player; // the module's player, made with it
    bool m_loadTried = false;
    std::string m_moduleDir;
    // Answers of StartMailProgram reach done only while this desktop lives.
    std::unique_ptr<QObject> m_context = std::make_unique<QObject>();
};

// Where window's frame stands on the screen. Under X11 the X server is
// asked (the window manager's frame, or the window itself without one): a
// window manager may leave Qt believing 0,0 for a window that was never
// moved. Elsewhere, and for a hidden window, Qt's own place.
QPoint FramePosition(QWidget& window);
