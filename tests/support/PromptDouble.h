// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The ports answered by the test. The prompt keeps every message box's text,
// and each question or file dialog takes the next queued answer (Cancel /
// nothing when none is queued), so no test waits for a person. The desktop
// keeps what it was asked to open, start and play, and does none of it.
#include "core/window/Ports.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

class PromptDouble : public TPrompt {
public:
    std::vector<std::string> shown;                        // every text shown or asked, in order
    std::deque<Answer> answers;                            // for Ask
    std::deque<std::optional<std::string>> files;          // for OpenFile, SaveFile, PickFolder
    std::function<void()> whileShown;                      // runs inside each Message (a nested loop)
    std::vector<std::string> proposed;                     // the file names SaveFile proposed

    void Message(const std::string& text, Icon) override
    {
        shown.push_back(text);
        if (whileShown)
            whileShown();
    }
    Answer Ask(const std::string& text) override
    {
        shown.push_back(text);
        return next(answers, Answer::No);
    }
    // A choice nobody queued an answer for is left open (Cancel).
    Answer Choose(const std::string& text, const std::string&, const std::string&) override
    {
        shown.push_back(text);
        return next(answers, Answer::Cancel);
    }
    std::optional<std::string> OpenFile(const std::string& title, const std::string&, const std::string&) override
    {
        shown.push_back(title);
        return next(files, std::optional<std::string>());
    }
    std::optional<std::string> SaveFile(const std::string& title, const std::string& name, const std::string&) override
    {
        shown.push_back(title);
        proposed.push_back(name);
        return next(files, std::optional<std::string>());
    }
    std::optional<std::string> PickFolder(const std::string& title, const std::string&) override
    {
        shown.push_back(title);
        return next(files, std::optional<std::string>());
    }

private:
    template <typename T>
    static T next(std::deque<T>& queue, T none)
    {
        if (queue.empty())
            return none;
        T value = queue.front();
        queue.pop_front();
        return value;
    }
};

class DesktopDouble : public TDesktop {
public:
    std::vector<std::string> opened;   // OpenUrl's addresses
    std::vector<std::string> started;  // StartProgram's program and parameters, one text each
    std::vector<std::string> played;   // PlaySound's files
    std::string mailProgramProblem;    // StartMailProgram's answer ("": it started)
    // Plays the browser an address goes to, when set.
    std::function<void(const std::string&)> browser;

    bool OpenUrl(const std::string& url) override
    {
        opened.push_back(url);
        if (browser)
            browser(url);
        return true;
    }
    bool StartProgram(const std::string& program, const std::string& parameters) override
    {
        started.push_back(parameters.empty() ? program : program + " " + parameters);
        return true;
    }
    void PlaySound(const std::string& file) override { played.push_back(file); }
    void StartMailProgram(std::function<void(const std::string&)> done) override
    {
        started.push_back("(mail program)");
        done(mailProgramProblem);
    }
};

} // namespace testsupport
