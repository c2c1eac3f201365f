// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The skin definition file: CurrentSkinDir + "skin.ini", read key by key
// with FindInSkin into the skin record TSkinSettings. Fields are named
// section.key after the file (SkinSettings.connect.position).
#include <cstdint>
#include <string>

// Two integers read with TraiteInt. Positions: first = left, second = top.
// Font sizes: first = cell width, second = cell height.
struct TIntPair {
    int32_t first = 0;
    int32_t second = 0;
};

// One field per key of skin.ini. File fields hold CurrentSkinDir + the value
// as written (CurrentSkinDir + "none" when the key is missing); the reader
// does not open the bitmaps. All fields start empty or zero.
struct TSkinSettings {
    struct {
        std::string main;
        std::string msgbkng; // "none" when the skin has no message window
    } background;
    struct {
        std::string cnxbtnnormal, cnxbtnselect;
        TIntPair position;
    } connect;
    struct {
        std::string disbtnnormal, disbtnselect;
        TIntPair position;
    } disconnect;
    struct {
        std::string onlinebmp, notonlinebmp;
        TIntPair position;
    } online;
    struct {
        std::string runmailnormal, runmailselect;
        TIntPair position;
    } mailclient;
    struct {
        std::string readbtnnormal, readbtnselect;
        TIntPair position;
    } readmsg;
    struct {
        std::string gotmail, nomail;
        TIntPair position;
    } youhavemail;
    struct {
        std::string nbmsgbmp;
        TIntPair size;
        TIntPair position;
    } nbmsg;
    struct {
        std::string fontbmp;
        TIntPair size;
        TIntPair position;
        int32_t maxchar = 0; // 128 after a read that finds none or 0
    } status;
    struct {
        int32_t memo_x = 0, memo_y = 0, memo_width = 0, memo_height = 0;
        uint32_t fontcolor = 0; // red in the low byte, then green, then blue
        std::string fontname;
        std::string fontstyle;
        int32_t fontsize = 0;
        std::string prevbtnnormal, prevbtnselect;
        TIntPair prevbtnpos;
        std::string nextbtnnormal, nextbtnselect;
        TIntPair nextbtnpos;
        std::string replybtnnormal, replybtnselect;
        TIntPair replybtnpos;
        std::string deletebtnnormal, deletebtnselect;
        TIntPair deletebtnpos;
        std::string closebtnnormal, closebtnselect;
        TIntPair closebtnpos;
    } memo_msgwindow;
};

// The skin record of the main window, refilled by every ReadSkin.
extern TSkinSettings SkinSettings;

// The current skin directory, always ending in "/".
extern std::string CurrentSkinDir;

// Preview marker of the configuration dialog ("test" while it applies a
// skin not yet saved): while non-empty, the loader keeps CurrentSkinDir.
extern std::string SkinPreview;

// Set by ReadSkin when [background] has no msgbkng: no message window.
extern bool NoMsgWindow;

// Parses a pair value into first and second:
// "none" or "" -> 0, 0; no "," -> first only (second untouched);
// otherwise the numbers before and after the first ",".
// Throws Exception (number-format error text) on a number that is not a
// decimal integer, e.g. "10 ,20"; "10, 20" is valid.
void TraiteInt(const std::string& text, int32_t& first, int32_t& second);

// Reads CurrentSkinDir + "skin.ini" into SkinSettings and NoMsgWindow, key by
// key in file order. Ends the program with a fatal message when the file
// cannot be read ("SKIN PATH not found !...") or has no [background] main.
// Throws Exception on a number-format error: fields read before it keep
// their new values, the later ones their old values.
void ReadSkin();

// The descriptive texts of a skin, empty when absent.
struct TSkinInfo {
    std::string name, author, mail, web, info;
};

// Reads the five descriptive keys of the skin.ini at path (any section, a
// later line wins). Throws Exception when the file cannot be opened.
TSkinInfo ReadSkinInfo(const std::string& path);

// Returns path as it exists on disk: when it does not exist as written, each
// missing component is looked up in its directory ignoring ASCII letter case
// (skins made on systems that ignore case). Returns path unchanged when no
// match is found.
std::string FindFileIgnoringCase(const std::string& path);
