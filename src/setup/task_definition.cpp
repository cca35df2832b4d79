#include "src/setup/task_definition.hpp"

#include "src/common/text.hpp"

namespace vorlane::setup {

std::string task_name(std::string_view sid) {
  return "Keyward (" + std::string(sid) + ")";
}

std::string xml_escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::string task_document(std::string_view user_sid, std::string_view program_path) {
  const std::string sid = xml_escape(user_sid);
  const std::string command = xml_escape(program_path);
  std::string doc;
  doc += "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n";
  doc += "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n";
  doc += "  <RegistrationInfo>\n";
  doc += "    <Description>Vorlane administrator input helper</Description>\n";
  doc += "  </RegistrationInfo>\n";
  doc += "  <Triggers>\n";
  doc += "    <LogonTrigger>\n";
  doc += "      <Enabled>true</Enabled>\n";
  doc += "      <UserId>" + sid + "</UserId>\n";
  doc += "    </LogonTrigger>\n";
  doc += "  </Triggers>\n";
  doc += "  <Principals>\n";
  doc += "    <Principal id=\"Author\">\n";
  doc += "      <UserId>" + sid + "</UserId>\n";
  doc += "      <LogonType>InteractiveToken</LogonType>\n";
  doc += "      <RunLevel>HighestAvailable</RunLevel>\n";
  doc += "    </Principal>\n";
  doc += "  </Principals>\n";
  doc += "  <Settings>\n";
  doc += "    <MultipleInstancesPolicy>Parallel</MultipleInstancesPolicy>\n";
  doc += "    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\n";
  doc += "    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\n";
  doc += "    <AllowHardTerminate>true</AllowHardTerminate>\n";
  doc += "    <StartWhenAvailable>false</StartWhenAvailable>\n";
  doc += "    <RunOnlyIfNetworkAvailable>false</RunOnlyIfNetworkAvailable>\n";
  doc += "    <IdleSettings>\n";
  doc += "      <StopOnIdleEnd>false</StopOnIdleEnd>\n";
  doc += "      <RestartOnIdle>false</RestartOnIdle>\n";
  doc += "    </IdleSettings>\n";
  doc += "    <AllowStartOnDemand>true</AllowStartOnDemand>\n";
  doc += "    <Enabled>true</Enabled>\n";
  doc += "    <Hidden>false</Hidden>\n";
  doc += "    <RunOnlyIfIdle>false</RunOnlyIfIdle>\n";
  doc += "    <WakeToRun>false</WakeToRun>\n";
  doc += "    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>\n";
  doc += "    <Priority>7</Priority>\n";
  doc += "  </Settings>\n";
  doc += "  <Actions Context=\"Author\">\n";
  doc += "    <Exec>\n";
  doc += "      <Command>" + command + "</Command>\n";
  doc += "      <Arguments>--serve</Arguments>\n";
  doc += "    </Exec>\n";
  doc += "  </Actions>\n";
  doc += "</Task>\n";
  return doc;
}

std::string task_file_bytes(std::string_view document) {
  const std::u16string units = utf8_to_utf16(document);
  std::string bytes = "\xFF\xFE";
  bytes.reserve(2 + units.size() * 2);
  for (const char16_t unit : units) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

std::string task_file_name(std::uint32_t pid) {
  return "keyward-" + std::to_string(pid) + ".xml";
}

}  // namespace vorlane::setup
