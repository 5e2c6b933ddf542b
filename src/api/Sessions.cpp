#include "api/Sessions.h"

#include <algorithm>
#include <cmath>

namespace {

std::int64_t Milliseconds(TDateTime moment) {
  return std::llround(moment * 86400000.0);
}

}  // namespace

bool IsExpired(const TSession& session, TDateTime nowUTC) {
  return Milliseconds(nowUTC) >= Milliseconds(session.FExpirationUTC);
}

void TSessionList::AddItem(const std::string& pSession_UUID, std::uint64_t pIdContext,
                           TDateTime pExpirationDateTime, TDateTime pExpirationUTC) {
  std::lock_guard guard(lock_);
  FList.push_back({pIdContext, pSession_UUID, pExpirationDateTime, pExpirationUTC});
}

std::optional<TSession> TSessionList::GetSession(const std::string& pSession_UUID) const {
  std::lock_guard guard(lock_);
  const auto found = std::find_if(FList.begin(), FList.end(), [&](const TSession& session) {
    return session.FSession_UUID == pSession_UUID;
  });
  return found == FList.end() ? std::nullopt : std::optional(*found);
}

void TSessionList::DeleteItem(const std::string& pSession_UUID) {
  std::lock_guard guard(lock_);
  const auto found = std::find_if(FList.begin(), FList.end(), [&](const TSession& session) {
    return session.FSession_UUID == pSession_UUID;
  });
  if (found != FList.end()) {
    FList.erase(found);
  }
}

void TSessionList::DeleteExpired(TDateTime nowUTC) {
  std::lock_guard guard(lock_);
  std::erase_if(FList, [&](const TSession& session) { return IsExpired(session, nowUTC); });
}

std::size_t TSessionList::Count() const {
  std::lock_guard guard(lock_);
  return FList.size();
}
