#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "Common/AccountLimits.h"
#include "Common/Singleton.h"

// One proxy account as stored in the accounts table of main.db; the user name is its map key.
struct UserAccount {
    int64_t rowid = 0;
    std::string password;    // the stored digest, decimal text as read back
    std::string createTime;  // "year-month-day hour:minute:second", no zero padding
    AccountLimits limits;
    uint64_t usedThisMonth = 0;  // bytes, as the server last stored them
};

// How an account change ended; the pages tell the user which one it was.
enum class AccountChange {
    kDone,       // the row is written and the map reloaded
    kNameTaken,  // another account holds the user name; nothing was written
    kGone,       // modify: the account no longer exists (the map is reloaded)
    kFailed,     // the database refused, or no password hash could be made
};

// A password as it is stored: its digest (decimal text) and its strong hash. Making the hash
// takes tens of milliseconds, so the console makes it off the window thread.
struct StoredPassword {
    std::string digest;
    std::string hash;
};
// nullopt when no hash can be made (MakePasswordHash). Any thread.
std::optional<StoredPassword> MakeStoredPassword(std::string_view password);

// The proxy accounts and the anonymous-access switch, which the server reads from main.db.
// Passwords are stored as their PasswordDigest (which the server and older tools read) and, in
// the table account_passwords, as a strong salted hash (PasswordHash). User names and passwords
// reach SQLite as bound parameters, so no text can change what a statement does. Used from the
// window thread only: the fields are read and written directly.
class UserConf : public Singleton<UserConf> {
public:
    // Reads the switch (Configuration's anonymous_allow: exactly 1 allows, anything else
    // denies; a missing row is stored as "0" and read as 0) and every account into the map (the
    // first row of a user name wins). A database failure is logged and leaves what was read so far.
    // Always 1.
    int load();
    // Writes the switch (1 allows, anything else denies); true when the update and the close
    // succeeded.
    bool saveAnonymous();
    // Adds an account created now, with its digest and hash, then reloads the map.
    AccountChange addAccount(std::string_view userName, const StoredPassword& password);
    // Renames an account and, unless `password` is nullopt, sets its password (digest and
    // hash); then reloads. A name held by another account is refused; so is an account that
    // no longer exists (kGone).
    AccountChange modifyAccount(int64_t rowid, std::string_view userName,
                                const std::optional<StoredPassword>& password);
    // The same with the password typed (empty: kept), hashed on the calling thread; kFailed
    // when no hash can be made.
    AccountChange addAccount(std::string_view userName, std::string_view password);
    AccountChange modifyAccount(int64_t rowid, std::string_view userName,
                                std::string_view password);
    // Deletes an account, then reloads; a failure is dropped (the reload shows the account).
    void deleteAccount(int64_t rowid);
    // Stores what an account may use (creating the tables where missing), then reloads.
    AccountChange setLimits(int64_t rowid, const AccountLimits& limits);

    int anonymousAllow = 0;                       // 1: clients without an account are served
    std::map<std::string, UserAccount> accounts;  // by user name, byte-wise ascending

private:
    friend class Singleton<UserConf>;
    UserConf() = default;
};

// Orders two create-time texts by the time they name (so "2025-9-1 8:0:0" comes before
// "2025-10-1 8:0:0"); a text that names no time comes before every time, and two such texts
// compare as bytes. Negative, zero or positive.
int CompareCreateTimes(std::string_view a, std::string_view b);
