#pragma once
// The per-user logon task: its name, its XML definition and the file it is registered from.
#include <cstdint>
#include <string>
#include <string_view>

namespace vorlane::setup {

// "Keyward (<sid>)"; the SID goes in unchanged.
std::string task_name(std::string_view sid);

// The five XML entities, "&" first so entities made later are not escaped twice.
std::string xml_escape(std::string_view text);

// The whole definition document (UTF-8 here), one line feed after every line.
std::string task_document(std::string_view user_sid, std::string_view program_path);

// File content: the byte-order mark FF FE, then the document as UTF-16LE, no terminating zero.
std::string task_file_bytes(std::string_view document);

// "keyward-<pid>.xml", placed in the install directory.
std::string task_file_name(std::uint32_t pid);

}  // namespace vorlane::setup
