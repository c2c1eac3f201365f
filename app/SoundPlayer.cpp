// The new-mail sound, a module of its own: Qt Multimedia and the audio
// libraries under it are loaded only when a sound first plays, so a window
// that never plays one does not carry them (see TQtDesktop::PlaySound).
#include <QApplication>
#include <QSoundEffect>
#include <QUrl>

#include <memory>

extern "C" __attribute__((visibility("default"))) void tolmuPlaySound(const char* file)
{
    // A new sound replaces one still playing.
    static std::unique_ptr<QSoundEffect> effect;
    effect = std::make_unique<QSoundEffect>();
    QObject::connect(effect.get(), &QSoundEffect::statusChanged, effect.get(), [e = effect.get()] {
        if (e->status() == QSoundEffect::Error)
            QApplication::beep(); // a file that cannot be played: the system's sound
    });
    effect->setSource(QUrl::fromLocalFile(QString::fromUtf8(file)));
    effect->play();
}
