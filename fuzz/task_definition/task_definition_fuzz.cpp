// Any SID text and program path through the task definition document and its file bytes.
//
// Oracle: expat, reading the file bytes (byte-order mark and UTF-16LE) as schtasks would:
// - the document has 44 lines (besides line feeds of the values) and is well-formed XML;
// - its elements are the same, in the same order, as for a plain SID and path: no value adds,
//   removes or moves an element;
// - both UserId elements read back the SID, and Command the program path, unchanged.
// This holds for every value made of characters XML allows, less the carriage return that XML
// turns into a line feed; a SID text is ASCII and a Windows path holds no control character,
// so nothing outside that is ever written. Other values must merely not crash.
#include <expat.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "src/common/text.hpp"
#include "src/setup/task_definition.hpp"

namespace {

using namespace vorlane;

[[noreturn]] void disagree(const char* what) {
  std::fprintf(stderr, "task definition oracle: %s\n", what);
  std::abort();
}

struct Reading {
  bool well_formed = false;
  std::vector<std::string> elements;  // names in document order
  std::vector<std::string> user_ids;
  std::vector<std::string> commands;
  std::vector<std::string> open;  // names of the elements around the current text
  std::string* text = nullptr;    // where character data of a value element goes
};

void on_start(void* data, const XML_Char* name, const XML_Char**) {
  auto& r = *static_cast<Reading*>(data);
  r.elements.emplace_back(name);
  r.open.emplace_back(name);
  r.text = nullptr;
  if (r.open.back() == "UserId") r.text = &r.user_ids.emplace_back();
  if (r.open.back() == "Command") r.text = &r.commands.emplace_back();
}

void on_end(void* data, const XML_Char*) {
  auto& r = *static_cast<Reading*>(data);
  r.open.pop_back();
  r.text = nullptr;
}

void on_text(void* data, const XML_Char* s, int length) {
  auto& r = *static_cast<Reading*>(data);
  if (r.text) r.text->append(s, static_cast<std::size_t>(length));
}

Reading read_xml(const std::string& file_bytes) {
  Reading reading;
  XML_Parser parser = XML_ParserCreate(nullptr);
  if (!parser) std::abort();
  XML_SetUserData(parser, &reading);
  XML_SetElementHandler(parser, on_start, on_end);
  XML_SetCharacterDataHandler(parser, on_text);
  reading.well_formed = XML_Parse(parser, file_bytes.data(), static_cast<int>(file_bytes.size()),
                                  /*isFinal=*/1) == XML_STATUS_OK;
  XML_ParserFree(parser);
  return reading;
}

// Characters XML 1.0 allows, without the carriage return.
bool written_unchanged(const std::string& utf8) {
  for (const char16_t unit : utf8_to_utf16(utf8)) {
    if ((unit < 0x20 && unit != u'\t' && unit != u'\n') || unit == 0xFFFE || unit == 0xFFFF) {
      return false;
    }
  }
  return true;
}

const std::vector<std::string>& plain_elements() {
  static const std::vector<std::string> names =
      read_xml(setup::task_file_bytes(setup::task_document("S-1-5-18", "C:\\K.exe"))).elements;
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string sid = sanitize_utf8(input.ConsumeRandomLengthString(256));
  const std::string path = sanitize_utf8(input.ConsumeRemainingBytesAsString());
  const std::string document = setup::task_document(sid, path);
  const auto line_feeds = [](const std::string& s) { return std::count(s.begin(), s.end(), '\n'); };
  if (line_feeds(document) != 44 + 2 * line_feeds(sid) + line_feeds(path) || document.back() != '\n') {
    disagree("the document is not 44 lines, each ending in a line feed");
  }
  const Reading reading = read_xml(setup::task_file_bytes(document));
  if (!written_unchanged(sid) || !written_unchanged(path)) return 0;

  if (!reading.well_formed) disagree("the document is not well-formed XML");
  if (reading.elements != plain_elements()) disagree("the values changed the elements");
  if (reading.user_ids != std::vector<std::string>{sid, sid}) disagree("a UserId reads back otherwise");
  if (reading.commands != std::vector<std::string>{path}) disagree("the Command reads back otherwise");
  return 0;
}
