// Where the media player lives: its open command in HKEY_CLASSES_ROOT, as its own setup
// registers it, gives the folder its plug-ins go below.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The open command's key: Winamp 2.x, or Winamp 3 ("Studio.exe").
const char* PlayerCommandKey(bool winamp3);

// The folder of the program an open command starts, with its trailing separator kept
// ("\"C:\Program Files\Winamp\winamp.exe\" \"%1\"" gives "C:\Program Files\Winamp\").
// A quoted program path runs to the closing quote; an unquoted one to the first blank.
// Nothing when a quote is not closed or the path names no folder.
std::optional<std::string> FolderFromOpenCommand(std::string_view command);

// The player's folder: from the default value (at most 512 bytes) of the version's open
// command key; when the store has no such key, the player folder stand-in
// (VANTREL_PLAYER_DIR, else ~/.local/share/vantrel/player) if that folder exists.
std::optional<std::string> FindPlayerFolder(bool winamp3);
