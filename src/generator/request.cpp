#include "generator/request.h"

#include "common/error.h"
#include "common/log.h"
#include "common/paths.h"
#include "common/text_file.h"
#include "generator/engine.h"
#include "platform/resources.h"

namespace velmoro::draw {

DocumentMetadata metadataFrom(const TVersionInfo& version) {
  DocumentMetadata m;
  m.author = version.CompanyName();
  m.creator = version.ProductName() + u" " + version.ProductVersion();
  std::u16string legal = version.LegalCopyright();
  if (size_t c = legal.find(u"(c)"); c != std::u16string::npos) legal.replace(c, 3, u"\u00A9");
  for (const std::u16string& part : {version.ProductName(), legal, std::u16string(kProductWebAddress)}) {
    if (part.empty()) continue;
    if (!m.copyright.empty()) m.copyright += u",  ";
    m.copyright += part;
  }
  return m;
}

std::u16string resolveRequestPath(std::u16string_view p) {
  if (p.empty()) return {};  // no path is no file, not the current folder
  return path::resolve(p, path::currentDirectory());
}

namespace {

int32_t request(std::u16string_view configArg, std::u16string_view targetArg, bool keepEmf) {
  const DocumentMetadata metadata = metadataFrom(platform::ownVersionInfo());

  const std::u16string configPath = resolveRequestPath(configArg);
  if (!path::fileExists(configPath)) {
    log::failure("VLGN", u"configuration file not found: " + configPath);
    return kResultNoConfiguration;
  }
  const std::u16string targetPath = resolveRequestPath(targetArg);
  if (!path::createFolders(path::folderOf(targetPath))) {
    log::failure("VLGN", u"cannot create the target folder: " + path::folderOf(targetPath));
    return kResultTargetFolder;
  }

  TDrawEngine engine;
  engine.Config.setText(text::readTextFile(configPath));
  if (engine.Config.value(u"DocumentAuthor").empty()) engine.Config.setValue(u"DocumentAuthor", metadata.author);
  engine.Config.setValue(u"DocumentCreator", metadata.creator);
  engine.Config.setValue(u"DocumentCopyright", metadata.copyright);
  engine.Config.setValue(u"TargetFile", targetPath);
  engine.KeepEmfCopy = keepEmf;
  engine.InputFiles.push_back(configPath);

  // Relative data files are found beside the configuration file.
  const std::u16string configFolder = path::folderOf(configPath);
  for (std::u16string_view key : {u"DataParticipantsFile", u"DataScheduleFile"}) {
    std::u16string value = path::toNative(engine.Config.value(key));
    if (!value.empty() && !path::isAbsolute(value)) engine.Config.setValue(key, configFolder + value);
  }

  engine.Execute();
  if (engine.ErrorMessage.empty()) return kResultOk;
  log::failure("VLGN", engine.ErrorMessage);
  return kResultEngineError;
}

}  // namespace

int32_t runDrawRequest(std::u16string_view configPath, std::u16string_view targetPath, bool keepEmf) {
  try {
    return request(configPath, targetPath, keepEmf);
  } catch (const std::exception& e) {
    std::u16string message = messageOf(e);
    log::failure("VLGN", message);
    return message == u"Locked" ? kResultEngineError : kResultException;
  } catch (...) {
    log::failure("VLGN", u"unknown exception");
    return kResultException;
  }
}

}  // namespace velmoro::draw
