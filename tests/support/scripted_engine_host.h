// An engine host whose answers a test scripts, for testing the control without an engine.
// It records every command with its operands, answers each command word from a queue
// (the last answer of a queue repeats; a word without a queue answers 0), and runs hooks
// when a word arrives, so a test can act "inside" the engine at a chosen moment.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/engine_host.h"

namespace zax::testing {

class ScriptedEngineHost : public EngineHost {
 public:
  struct Call {
    std::wstring wrapper;  // "CallWindow", "CallWindow2", "CallWindowLONG", "CallWindowInt"
    std::wstring word;
    std::vector<std::wstring> strings;  // string operands as sent
    std::vector<std::int32_t> numbers;  // integer operands as sent
  };

  // --- scripting
  void answer(const std::wstring& word, std::vector<std::int32_t> answers) {
    numbers_[word] = std::deque<std::int32_t>(answers.begin(), answers.end());
  }
  // Text written into the output buffer (operand 1) of a CallWindow2 command, or handed
  // back by CallWindowText. With no text queued the buffer comes back untouched.
  void answerText(const std::wstring& word, std::vector<std::wstring> texts) {
    texts_[word] = std::deque<std::wstring>(texts.begin(), texts.end());
  }
  void onCommand(const std::wstring& word, std::function<void()> hook) { hooks_[word] = std::move(hook); }
  void setInputFileReadable(bool readable) { inputReadable_ = readable; }
  // Makes Init throw this error (number 0: no error).
  void failInit(std::int32_t number, const std::string& description) {
    initError_ = number;
    initDescription_ = description;
  }

  // --- inspection
  const std::vector<Call>& calls() const { return calls_; }
  std::vector<std::wstring> words() const {
    std::vector<std::wstring> out;
    for (const Call& c : calls_) out.push_back(c.word);
    return out;
  }
  void clearCalls() { calls_.clear(); }
  int initCount() const { return initCount_; }
  int deinitCount() const { return deinitCount_; }
  const std::vector<std::wstring>& checks() const { return checks_; }
  void setLoaded(bool loaded) { loaded_ = loaded; }

  // --- EngineHost
  void Init(bool) override {
    ++initCount_;
    if (initError_ != 0) throw HostError(initError_, initDescription_);
    loaded_ = true;
  }
  void Deinit() override {
    ++deinitCount_;
    loaded_ = false;
  }
  bool IsLoaded() const override { return loaded_; }

  std::int32_t CallWindow(const std::wstring& string11, const std::wstring& string22,
                          const std::wstring& string33, const std::wstring& string44) override {
    calls_.push_back({L"CallWindow", string11, {string22, string33, string44}, {}});
    return respond(string11);
  }
  std::int32_t CallWindow2(std::wstring& string11, std::wstring& string22, std::wstring& string33,
                           std::int32_t string44) override {
    calls_.push_back({L"CallWindow2", string11, {string22, string33}, {string44}});
    auto it = texts_.find(string11);
    if (it != texts_.end() && !it->second.empty()) {
      string22 = it->second.front();
      if (it->second.size() > 1) it->second.pop_front();
    }
    return respond(string11);
  }
  std::int32_t CallWindowLONG(const std::wstring& string11, std::int32_t string22,
                              std::int32_t string33, std::int32_t string44) override {
    calls_.push_back({L"CallWindowLONG", string11, {}, {string22, string33, string44}});
    return respond(string11);
  }
  std::int32_t CallWindowInt(const std::wstring& string11, std::int32_t string22,
                             std::int32_t string33, std::int32_t string44) override {
    calls_.push_back({L"CallWindowInt", string11, {}, {string22, string33, string44}});
    return respond(string11);
  }

  std::int32_t CallWindowUtf8(const std::wstring& string11, const std::wstring& string22,
                              const std::wstring& string33, const std::wstring& string44) override {
    calls_.push_back({L"CallWindowUtf8", string11, {string22, string33, string44}, {}});
    return respond(string11);
  }
  // The text queued for the word comes back in `text`; with none queued, nothing (an
  // engine answers 0 then), else the size the text takes with its NUL unless a number is
  // queued for the word.
  std::int32_t CallWindowText(const std::wstring& string11, std::wstring& text,
                              std::int32_t string44) override {
    calls_.push_back({L"CallWindowText", string11, {}, {string44}});
    text.clear();
    auto it = texts_.find(string11);
    const bool hasText = it != texts_.end() && !it->second.empty();
    if (hasText) {
      text = it->second.front();
      if (it->second.size() > 1) it->second.pop_front();
    }
    const std::int32_t answer = respond(string11);
    if (numbers_.count(string11) != 0 || !hasText) return answer;
    return static_cast<std::int32_t>(text.size()) + 1;
  }

  bool CheckForEmpty(const std::wstring& Inputfile) override {
    checks_.push_back(L"CheckForEmpty " + Inputfile);
    return Inputfile.empty();
  }
  bool CheckInputFile(const std::wstring& Inputfile) override {
    checks_.push_back(L"CheckInputFile " + Inputfile);
    return inputReadable_;
  }
  bool CheckOuPutFile(const std::wstring& Inputfile) override {
    checks_.push_back(L"CheckOuPutFile " + Inputfile);
    return true;
  }
  bool CheckForEquality(const std::wstring& Inputfile, const std::wstring& OutPutFile) override {
    checks_.push_back(L"CheckForEquality " + Inputfile + L" " + OutPutFile);
    return false;
  }

 private:
  std::int32_t respond(const std::wstring& word) {
    std::int32_t result = 0;
    auto it = numbers_.find(word);
    if (it != numbers_.end() && !it->second.empty()) {
      result = it->second.front();
      if (it->second.size() > 1) it->second.pop_front();
    }
    auto hook = hooks_.find(word);
    if (hook != hooks_.end()) hook->second();
    return result;
  }

  std::vector<Call> calls_;
  std::map<std::wstring, std::deque<std::int32_t>> numbers_;
  std::map<std::wstring, std::deque<std::wstring>> texts_;
  std::map<std::wstring, std::function<void()>> hooks_;
  std::vector<std::wstring> checks_;
  bool inputReadable_ = true;
  bool loaded_ = false;
  int initCount_ = 0;
  int deinitCount_ = 0;
  std::int32_t initError_ = 0;
  std::string initDescription_;
};

}  // namespace zax::testing
