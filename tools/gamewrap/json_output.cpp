#include "tools/gamewrap/json_output.h"

#include <cstdio>
#include <utility>

#include "common/text_rules.h"
#include "tools/gamewrap/commands.h"

namespace gamewrap {

namespace {

std::string Hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", value & 0xFFFFu);
  return text;
}

const char* ResultName(VerifyResult result) {
  switch (result) {
    case VerifyResult::Valid:
      return "valid";
    case VerifyResult::CannotRead:
      return "cannotRead";
    case VerifyResult::NoSignatureFile:
      return "noSignatureFile";
    case VerifyResult::MalformedSignature:
      return "malformedSignature";
    case VerifyResult::NoPublisherSignatureFile:
      return "noPublisherSignatureFile";
    case VerifyResult::MalformedPublisherSignature:
      return "malformedPublisherSignature";
    case VerifyResult::UnknownPublisherKey:
      return "unknownPublisherKey";
    case VerifyResult::PublisherMismatch:
      return "publisherMismatch";
    case VerifyResult::DamagedKeyBlock:
      return "damagedKeyBlock";
    case VerifyResult::CannotReadLauncher:
      return "cannotReadLauncher";
    case VerifyResult::Mismatch:
      break;
  }
  return "mismatch";
}

const char* PublisherResultName(PublisherResult result) {
  switch (result) {
    case PublisherResult::NotRequired:
      return "notRequired";
    case PublisherResult::Valid:
      return "valid";
    case PublisherResult::NoFile:
      return "noFile";
    case PublisherResult::Malformed:
      return "malformed";
    case PublisherResult::UnknownKey:
      return "unknownKey";
    case PublisherResult::Mismatch:
      return "mismatch";
    case PublisherResult::DamagedKeyBlock:
      return "damagedKeyBlock";
    case PublisherResult::NotChecked:
      break;
  }
  return "notChecked";
}

// The verdict of the whole check for a failed publisher check.
VerifyResult FailedVerifyResult(PublisherResult result) {
  switch (result) {
    case PublisherResult::NoFile:
      return VerifyResult::NoPublisherSignatureFile;
    case PublisherResult::Malformed:
      return VerifyResult::MalformedPublisherSignature;
    case PublisherResult::UnknownKey:
      return VerifyResult::UnknownPublisherKey;
    case PublisherResult::DamagedKeyBlock:
      return VerifyResult::DamagedKeyBlock;
    default:
      break;
  }
  return VerifyResult::PublisherMismatch;
}

}  // namespace

std::string JsonString(std::string_view bytes) {
  std::string out = "\"";
  while (!bytes.empty()) {
    const unsigned char c = static_cast<unsigned char>(bytes[0]);
    std::size_t used = 1;
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      out += "\\u" + Hex4(c);
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else if ((used = text::Utf8SequenceLength(bytes)) != 0) {
      out.append(bytes.data(), used);
    } else {
      used = 1;
      out += "\\u" + Hex4(0xDC00u + c);
    }
    bytes.remove_prefix(used);
  }
  return out + "\"";
}

JsonObject& JsonObject::AddRaw(std::string_view name, const std::string& value) {
  if (!members_.empty()) members_ += ", ";
  members_ += JsonString(name) + ": " + value;
  return *this;
}

JsonObject& JsonObject::Add(std::string_view name, std::string_view text) {
  return AddRaw(name, JsonString(text));
}

JsonObject& JsonObject::Add(std::string_view name, std::int64_t number) {
  return AddRaw(name, std::to_string(number));
}

JsonObject& JsonObject::Add(std::string_view name, std::uint64_t number) {
  return AddRaw(name, std::to_string(number));
}

JsonObject& JsonObject::Add(std::string_view name, bool value) {
  return AddRaw(name, value ? "true" : "false");
}

JsonObject& JsonObject::Add(std::string_view name, const JsonObject& object) {
  return AddRaw(name, object.Text());
}

JsonObject& JsonObject::Add(std::string_view name, const std::vector<std::string>& texts) {
  std::string array = "[";
  for (const std::string& text : texts) {
    if (array.size() > 1) array += ", ";
    array += JsonString(text);
  }
  return AddRaw(name, array + "]");
}

JsonObject& JsonObject::AddNull(std::string_view name) { return AddRaw(name, "null"); }

VerifyPrinter::VerifyPrinter(bool json, std::string file, std::string signatureFile,
                             std::int32_t buildId)
    : json_(json),
      file_(std::move(file)),
      signatureFile_(std::move(signatureFile)),
      buildId_(buildId) {}

void VerifyPrinter::Result(VerifyResult result, const std::string& reason) {
  result_ = result;
  reason_ = reason;
  if (result != VerifyResult::Valid) {
    std::fprintf(stderr, "gamewrap verify: %s\n", reason.c_str());
  } else if (!json_) {
    std::printf("%s: signature valid for build identifier %d\n", file_.c_str(),
                static_cast<int>(buildId_));
  }
}

void VerifyPrinter::Warning(const std::string& text) {
  std::fprintf(stderr, "gamewrap verify: warning: %s\n", text.c_str());
  warnings_.push_back(text);
}

void VerifyPrinter::Note(const std::string& text) {
  std::fprintf(stderr, "gamewrap verify: note: %s\n", text.c_str());
  notes_.push_back(text);
}

void VerifyPrinter::ExpectPublisher(std::string publisherSignatureFile) {
  publisherExpected_ = true;
  publisherSignatureFile_ = std::move(publisherSignatureFile);
}

void VerifyPrinter::Publisher(PublisherResult result, const std::string& keyId,
                              const std::string& reason) {
  publisherResult_ = result;
  publisherKeyId_ = keyId;
  if (result == PublisherResult::Valid) {
    if (!json_) {
      std::printf("%s: publisher signature valid (key %s)\n", publisherSignatureFile_.c_str(),
                  keyId.c_str());
    }
  } else if (result != PublisherResult::NotRequired && result != PublisherResult::NotChecked) {
    Result(FailedVerifyResult(result), reason);
  }
}

int VerifyPrinter::Finish() {
  const bool valid = result_ == VerifyResult::Valid;
  if (json_) {
    JsonObject object;
    object.Add("file", file_)
        .Add("signatureFile", signatureFile_)
        .Add("buildId", static_cast<std::int64_t>(buildId_))
        .Add("valid", valid)
        .Add("result", ResultName(result_));
    if (valid) {
      object.AddNull("reason");
    } else {
      object.Add("reason", reason_);
    }
    object.Add("warnings", warnings_).Add("notes", notes_);
    if (publisherExpected_) {
      object.Add("publisherSignatureFile", publisherSignatureFile_)
          .Add("publisherSignature", PublisherResultName(publisherResult_));
      if (publisherKeyId_.empty()) {
        object.AddNull("publisherKeyId");
      } else {
        object.Add("publisherKeyId", publisherKeyId_);
      }
    }
    std::printf("%s\n", object.Text().c_str());
  }
  return valid ? kExitOk : kExitFailure;
}

}  // namespace gamewrap
