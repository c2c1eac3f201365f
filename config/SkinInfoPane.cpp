// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/SkinInfoPane.h"

#include "config/PageParts.h"
#include "core/settings/OptionsPage.h"
#include "core/settings/Settings.h"
#include "core/settings/SkinCheck.h"
#include "skin/WinUtil.h"
#include "skin/file/SkinFile.h"

using configpage::boldArial;
using configpage::label;
using configpage::q;

namespace {

// The directory part of a path, ending in "/".
std::string directoryOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A group box or button caption shows "&" as an access key: a path keeps its own.
QString literalCaption(const std::string& s) { return q(s).replace(QLatin1Char('&'), QStringLiteral("&&")); }

} // namespace

TSkinInfoPane::TSkinInfoPane(TPrompt& prompt, QWidget* parent) : QWidget(parent), m_prompt(prompt)
{
    QWidget* p = this;
    InfSk = new QGroupBox(p);
    InfSk->setGeometry(0, 0, 320, 96);
    SkName = new QLabel(InfSk);
    SkName->setTextFormat(Qt::PlainText);
    SkName->setFont(boldArial());
    SkName->setGeometry(12, 20, 296, 18);
    label(InfSk, QStringLiteral("by"), 12, 42);
    SkAuthor = new QLabel(InfSk);
    SkAuthor->setTextFormat(Qt::PlainText);
    SkAuthor->setFont(boldArial());
    SkAuthor->setGeometry(32, 42, 276, 18);
    ChkPreview = new QCheckBox(QStringLiteral("&Preview message window"), InfSk);
    ChkPreview->move(12, 68);
    Browse = new QPushButton(QStringLiteral("C&hange ..."), InfSk);
    Browse->setGeometry(222, 64, 88, 25);

    auto* author = new QGroupBox(QStringLiteral(" Author : "), p);
    author->setGeometry(0, 100, 320, 66);
    label(author, QStringLiteral("email :"), 12, 20);
    Skemail = new TLinkLabel(author);
    Skemail->setGeometry(60, 20, 250, 18);
    label(author, QStringLiteral("web :"), 12, 40);
    SkWeb = new TLinkLabel(author);
    SkWeb->setWordWrap(true);
    SkWeb->setGeometry(60, 40, 250, 22);

    auto* comments = new QGroupBox(QStringLiteral(" Comments : "), p);
    comments->setGeometry(0, 170, 320, 80);
    SkInfo = new QLabel(comments);
    SkInfo->setTextFormat(Qt::PlainText);
    SkInfo->setWordWrap(true);
    SkInfo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    SkInfo->setGeometry(12, 20, 296, 54);
}

void TSkinInfoPane::ShowSkinInfo(const std::string& skinIni)
{
    m_skinIniShown = skinIni;
    m_skinShown = directoryOf(skinIni);
    InfSk->setTitle(literalCaption(m_skinShown));
    TSkinInfo info;
    try {
        info = ReadSkinInfo(skinIni);
    } catch (const std::exception&) {
        // An unreadable skin.ini shows no texts, none of the skin before.
    }
    SkName->setText(q(info.name));
    SkAuthor->setText(q(info.author));
    Skemail->setText(q(info.mail));
    SkWeb->setText(q(info.web));
    SkInfo->setText(q(info.info));
}

// A skin the loader would stop the program on is refused here with the same
// text, and the program runs on with the skin it has.
bool TSkinInfoPane::skinUsable(const std::string& dir)
{
    const TSkinTry tried = TrySkin(dir);
    std::string problem = tried.problem;
    if (problem.empty()) {
        for (const auto& [file, message] : SkinPicturesToLoad(tried.skin)) {
            if (LoadSkinBitmap(q(file)).isNull()) {
                problem = message;
                break;
            }
        }
    }
    if (problem.empty())
        return true;
    m_prompt.Message(problem, TPrompt::Icon::Error);
    return false;
}

std::optional<std::string> TSkinInfoPane::ChooseSkin()
{
    const std::string folder = OptionText(Settings.SkinDir);
    const std::string start = folder.empty() ? std::string() : folder + "/";
    const std::optional<std::string> chosen =
        m_prompt.OpenFile("Open", "Ini files (*.ini) | *.ini", start + "Skin.ini");
    if (!chosen)
        return std::nullopt;
    const std::string before = m_skinIniShown;
    ShowSkinInfo(*chosen);
    // The skin loaded is the skin.ini of the chosen file's folder, whatever
    // the file's name.
    if (!skinUsable(m_skinShown)) {
        ShowSkinInfo(before);
        return std::nullopt;
    }
    return m_skinShown;
}
