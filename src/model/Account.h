// The accounts the program knows: bookmarks, accounts, clusters and the vault.
#pragma once

#include <string>
#include <vector>

#include "model/TextUtil.h"

class CRemoteBookmark {
public:
    std::string RemName;  // "RemName="
    std::string RemDir;   // "RemDir="
    std::string Extra;    // not stored
};

class CHost {
public:
    CHost() = default;
    CHost(const std::string& host, const std::string& user);
    CHost(const std::string& host, const std::string& user, const std::string& password);

    std::string m_strHost;        // "GoodReside="
    std::string m_strHostType;    // "ResideType=": "UNIX", "VMS" ...
    std::string m_strUser;        // "ActiveName="
    std::string m_strPassword;    // "BinaryFormat=" (stored form)
    std::string m_strLastFolder;  // "LastReside="
    int m_nStatus = 2;            // "AcctStatus=": image number in the account tree
    int m_nClusterInd = 0;        // "ClusterInd="
    int m_nSpare = 0;             // the record's second further int
    std::vector<CRemoteBookmark> m_Bookmarks;

    int GetStatus() const { return m_nStatus; }
    // Replaces the password; the trace line names user and host only.
    void SetPassword(const std::string& password);
};

class CCluster {
public:
    CCluster() = default;
    explicit CCluster(const std::string& name, int hostInd = 0) : m_strName(name), m_nHostInd(hostInd) {}
    std::string m_strName = "My Cluster";
    int m_nHostInd = 0;  // "HostInd="
    std::vector<CHost> m_Hosts;
};

class CAccountVault {
public:
    int m_nCurrClustInd = 0;  // "CurrClustInd="
    std::vector<CCluster> m_Clusters;

    // Distinct user names of every account, byte order.
    std::vector<std::string> GetUserNames() const;
    // Every account's cluster index becomes the place of its cluster.
    void RenumberClusterIndices();
    // True when some account has this host and user (case ignored).
    bool HasAccount(const std::string& host, const std::string& user) const;
};

// ASCII lower case.

// The stored form of a password: reversible, one line, no comma.
std::string EncodePassword(const std::string& password);
// A value without the stored form's mark (an older file) is taken as it
// stands. A mark other than the writer's "h:" (such as "H:"), and "h:"
// followed by anything but one or more pairs of lower-case hexadecimal
// digits, is damage: it gives an empty password (never the stored text, so
// the login asks for it) and sets *damaged.
std::string DecodePassword(const std::string& stored, bool* damaged = nullptr);

// The account of the current connection: host, user, password and last
// remote folder of the connection in use. New sessions take their defaults
// from it.
extern CHost g_CurrentAccount;
