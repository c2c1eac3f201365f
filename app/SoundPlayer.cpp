// SPDX-License-Identifier: GPL-3.0-or-later
// The new-mail sound, a module of its own: Qt Multimedia and the audio
// libraries under it are loaded only when a sound first plays, so a window
// that never plays one does not carry them (see TQtDesktop::PlaySound).
//
// The player is an object its caller owns and deletes before QApplication
// goes: Qt Multimedia's sample cache and audio service are torn down with
// the application, and a sound effect that outlived them (a static) would
// free into them at exit.
#include <QApplication>
#include <QSoundEffect>
#include <QUrl>

#include <memory>

namespace {

class SoundPlayer : public QObject {
public:
    // A new sound replaces one still playing.
    void play(const QString& file)
    {
        m_effect = std::make_unique<QSoundEffect>();
        QSoundEffect* effect = m_effect.get();
        QObject::connect(effect, &QSoundEffect::statusChanged, effect, [effect] {
            if (effect->status() == QSoundEffect::Error)
                QApplication::beep(); // a file that cannot be played: the system's sound
        });
        effect->setSource(QUrl::fromLocalFile(file));
        effect->play();
    }

private:
    std::unique_ptr<QSoundEffect> m_effect;
};

} // namespace

// A new player; the caller owns it (delete, or a parent it sets).
extern "C" __attribute__((visibility("default"))) QObject* tolmuNewSoundPlayer()
{
    return std::make_unique<SoundPlayer>().release();
}

// Plays file on a player made by tolmuNewSoundPlayer.
extern "C" __attribute__((visibility("default"))) void tolmuPlaySound(QObject* player, const char* file)
{
    static_cast<SoundPlayer*>(player)->play(QString::fromUtf8(file));
}
