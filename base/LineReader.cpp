#include "base/LineReader.h"

LineReader::LineReader(const std::string& path, std::size_t maxLine, std::size_t maxFile)
    : m_file(std::fopen(path.c_str(), "rb")), m_maxLine(maxLine), m_maxFile(maxFile)
{
}

int LineReader::getByte()
{
    if (m_atEnd || !m_file)
        return EOF;
    if (m_consumed >= m_maxFile) {
        m_atEnd = true;
        return EOF;
    }
    const int c = std::getc(m_file.get());
    if (c == EOF) {
        // A directory opens fine on Linux and fails on the first read.
        if (std::ferror(m_file.get()))
            m_failed = true;
        m_atEnd = true;
        return EOF;
    }
    ++m_consumed;
    if (c == 26) {
        m_atEnd = true;
        return EOF;
    }
    return c;
}

bool LineReader::next(std::string& line)
{
    line.clear();
    int c = getByte();
    if (c == EOF)
        return false;
    while (c != EOF && c != '\r') {
        if (line.size() < m_maxLine)
            line.push_back(static_cast<char>(c));
        c = getByte();
    }
    if (c == '\r') {
        const int after = getByte();
        if (after != '\n' && after != EOF) {
            std::ungetc(after, m_file.get());
            --m_consumed;
        }
    }
    return !m_failed;
}
