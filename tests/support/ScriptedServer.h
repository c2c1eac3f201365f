// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A scripted line server on 127.0.0.1 for faults that real POP3 servers do
// not produce (garbage replies, a close mid-listing, a stall, an endless
// line). Each accepted connection plays the same script, step by step, and
// every line the client sends is recorded, so a test can assert the exact
// transcript on the wire (including the "Quit" after an error). Once the
// script has run out, a "Quit" is answered "+OK" as a real server would
// (also one that the script's last ReadLine took); after Stall() nothing is
// answered any more.
// The server is one from before CAPA (RFC 2449) unless the script says
// ScriptCapa(): a "CAPA" arriving where the script reads a line is answered
// "-ERR unknown command" as such a server would, and left out of the
// transcript (CapaAnswered() counts them), so that a script can play the
// rest of the session as it always went.
//
//   ScriptedServer s;
//   s.Send("+OK hello").Reply("+OK user").Reply("-ERR bad password");
//   ... client connects to s.Port() ...
//   EXPECT_EQ(s.Finish(), (std::vector<std::string>{"User u", "Pass p", "Quit"}));
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <condition_variable>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class ScriptedServer {
public:
    using Ms = std::chrono::milliseconds;

    // Listens on a free port of address (another loopback address such as
    // 127.0.0.2 plays a server on another computer); serving starts with
    // Start() or implicitly at the first Port() call. Throws
    // std::runtime_error.
    explicit ScriptedServer(const char* address = "127.0.0.1");
    // Stops serving, closes every socket, joins the thread.
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    // Script steps, played in order on each connection. Build the script
    // before the client connects.
    ScriptedServer& Send(const std::string& line);        // line + CR LF
    ScriptedServer& SendRaw(const std::string& bytes);    // bytes as given
    ScriptedServer& ReadLine();                           // wait for (and record) one line
    ScriptedServer& Reply(const std::string& line);       // ReadLine, then Send(line)
    ScriptedServer& ReplyRaw(const std::string& bytes);   // ReadLine, then SendRaw(bytes)
    ScriptedServer& Sleep(Ms ms);                         // pause (cut short by the destructor)
    ScriptedServer& Stall();                              // send nothing more, keep reading until the client closes
    ScriptedServer& SendEndless(std::size_t cap = std::size_t(64) << 20); // 'x' bytes without CR LF until the client closes or cap bytes
    // bytes over and over, with pause between, until the client closes or
    // cap bytes went out (an endless listing or body, fast or slow).
    ScriptedServer& Repeat(const std::string& bytes, Ms pause, std::size_t cap = std::size_t(256) << 20);
    ScriptedServer& Close();                              // close the connection now
    ScriptedServer& Reset();                              // abort it: the client sees a reset (RST)
    // Runs fn(received lines so far) and sends whatever it returns (raw).
    ScriptedServer& Custom(std::function<std::string(const std::vector<std::string>&)> fn);

    // Sends every following byte on its own, with this pause between bytes
    // (0: whole writes). Exercises buffer edges in readers.
    ScriptedServer& ByteByByte(std::chrono::microseconds delay);

    // How long a ReadLine step waits for the client before giving up (and
    // closing). Default 5 s.
    ScriptedServer& ReadTimeout(Ms ms);
    // The script reads and answers "CAPA" itself, and the transcript holds it.
    ScriptedServer& ScriptCapa();

    int Port();
    void Start();

    // Waits (up to limit) until the current connection ended, after the
    // script the server keeps reading until the client closes, then returns
    // every line received so far, without CR LF, over all connections.
    std::vector<std::string> Finish(Ms limit = Ms(5000));
    // Lines received so far, without waiting.
    std::vector<std::string> Received() const;
    // Connections accepted so far.
    int Connections() const;
    // "CAPA" lines answered "-ERR" on the script's behalf so far.
    int CapaAnswered() const;

private:
    struct Step {
        enum Kind { SendBytes, Read, Pause, StallUntilClose, Endless, CloseNow, Call, Slow, ResetNow, Repeated } kind;
        std::string bytes;
        Ms ms{0};
        std::size_t cap = 0;
        std::chrono::microseconds delay{0};
        std::function<std::string(const std::vector<std::string>&)> fn;
    };

    void serve();
    void serveConnection(int fd);
    // Reads one line into line and records it. answerCapa: a "CAPA" is
    // answered "-ERR" (unless ScriptCapa) and the next line read instead.
    bool readOneLine(int fd, std::string& pending, Ms limit, std::string* line = nullptr, bool answerCapa = false);
    bool sendAll(int fd, const std::string& bytes, std::chrono::microseconds delay);
    void drainUntilClose(int fd, std::string& pending, Ms limit, bool answerQuit = false);
    void record(const std::string& line);

    int m_listen = -1;
    int m_port = 0;
    std::vector<Step> m_script;
    Ms m_readTimeout{5000};
    bool m_scriptCapa = false;
    int m_capaAnswered = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_lines;
    int m_connections = 0;
    bool m_busy = false;
};

} // namespace testsupport
