#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "util/DateTime.h"

// One open session of a client.
struct TSession {
  // Id() of the connection the session was created on.
  std::uint64_t FIdContext = 0;
  std::string FSession_UUID;
  // Creation time + the session lifetime, local time (what the client is told).
  TDateTime FExpirationDateTime = 0;
  // The same moment in UTC: expiry is decided on it, so a change of the
  // local clock's offset (daylight saving) neither shortens nor extends a session.
  TDateTime FExpirationUTC = 0;
};

// At or after the session's expiry, to the millisecond (the clock's resolution).
bool IsExpired(const TSession& session, TDateTime nowUTC);

// The open sessions, in creation order. Identifiers are compared exactly.
// Connection threads use it concurrently, so every operation takes its lock
// and lookups hand out copies.
class TSessionList {
 public:
  void AddItem(const std::string& pSession_UUID, std::uint64_t pIdContext,
               TDateTime pExpirationDateTime, TDateTime pExpirationUTC);
  // A copy of the first session with that identifier.
  std::optional<TSession> GetSession(const std::string& pSession_UUID) const;
  // Removes the first session with that identifier; nothing when there is none.
  void DeleteItem(const std::string& pSession_UUID);
  // Removes every session whose expiry (UTC) is at or before the moment.
  void DeleteExpired(TDateTime nowUTC);
  std::size_t Count() const;

 private:
  mutable std::mutex lock_;
  std::vector<TSession> FList;
};
