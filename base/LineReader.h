// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The line reader under FindInSkin and ReadSkinInfo. A CR ends a line and one
// LF right after it is skipped; an LF alone is ordinary text; a byte 26 ends
// the file. Lines are cut at a byte bound and the file is read no further
// than a total bound, so a hostile file costs bounded memory and time.
#include <cstdio>
#include <memory>
#include <string>

class LineReader {
public:
    // Opens path for reading; failed() tells whether that worked. Only a
    // regular file (or a link to one) opens: a FIFO, a device or a directory
    // fails at once, without waiting for a writer.
    LineReader(const std::string& path, std::size_t maxLine, std::size_t maxFile);

    // Returns false at the end of the file or on a read error (failed() then
    // tells which); otherwise stores the next line without its end in line.
    bool next(std::string& line);

    // True when the file could not be opened or a read failed.
    bool failed() const { return m_file == nullptr || m_failed; }

private:
    int getByte();

    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> m_file;
    std::size_t m_maxLine;
    std::size_t m_maxFile;
    std::size_t m_consumed = 0;
    bool m_failed = false;
    bool m_atEnd = false;
};
