// What one listing of a remote folder tells of the files a send is about
// to replace: the kind of each entry, its link count, owner, group and
// permission bits, which names are taken, and which are links to what. A
// send goes through a temporary name only where that keeps everything a
// plain STOR keeps.
#pragma once

#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/FileItem.h"

// The leading fields of a UNIX listing line ("-rw-r----- 1 ann staff 9 ...").
struct CListingFields {
    char type = '?';     // '-' a plain file, 'd' a folder, 'l' a link, ...
    int links = 0;       // 0 when the line shows none
    std::string owner, group;
    int mode = -1;       // 0 to 0777; -1 when the bits say more (set-id, sticky, an ACL)
    long long size = -1;  // -1 when the size does not fit
};

// False when the line does not start with permission bits, a link count,
// an owner, a group and a size.
bool ReadListingFields(const std::string& line, CListingFields& out);

class CFolderTargets {
public:
    // Reads a "LIST -a" text of the folder. Names it leaves out (hidden by
    // the server, past its cap) may still be files.
    void Read(const std::string& listing);
    bool Listed() const { return m_bListed; }
    // The entry of the name, or nullptr when the listing does not have it.
    const CListingFields* Find(const std::string& name) const;
    bool Has(const std::string& name) const { return m_entries.count(name) != 0; }
    // A name neither the listing has nor the run keeps for itself: "." +
    // name + ".qvl-part", or that with "-1", "-2", ... added; "" when none
    // fits in maxBytes.
    std::string FreeTemporaryName(const std::string& fileName, size_t maxBytes) const;
    // The folder's empty probe takes the temporary names of kProbeName
    // alone: a probe an earlier run could not remove is found by them and
    // made again, never one more left beside it. The first such name the
    // listing shows as an empty plain file; "" when none.
    static constexpr const char* kProbeName = "qvl-probe";
    std::string LeftProbeName() const;
    // Marks a name as taken (the server has a file of that name).
    void Take(const std::string& name) { m_entries.emplace(name, CListingFields()); }
    // Marks a name the run sends into this folder: never a temporary name,
    // whether the file is there yet or not.
    void Keep(const std::string& name) { m_kept.insert(name); }
    // Whether the listings read here show more than one owner and group:
    // then the owner columns are the files' own, not one name a server
    // shows for all (vsftpd's hide_ids, a server run as one user).
    bool ShowsOwners() const { return m_owners.size() > 1; }
    // A send into the folder was refused its temporary file: the rest go
    // straight.
    bool Straight() const { return m_bStraight; }
    void SetStraight() { m_bStraight = true; }

    // Who a file made in this folder by the login user belongs to, learned
    // once from the line of one such file (nullptr: it was not listed).
    bool OwnerTried() const { return m_bOwnerTried; }
    bool OwnerKnown() const { return m_bOwnerKnown; }
    void SetOwnerFrom(const CListingFields* made) {
        m_bOwnerTried = true;
        if (!made || made->owner.empty()) return;
        m_owners.insert(made->owner + '\n' + made->group);
        m_bOwnerKnown = true;
        m_strOwner = made->owner;
        m_strGroup = made->group;
        m_nNewMode = made->mode;
    }
    // The bits the server gives a new file here; -1 when not known.
    int NewFileMode() const { return m_nNewMode; }
    // The empty probe showed that the host renames and deletes a new file
    // of the login user's here: a temporary can be renamed over its target
    // or taken away again.
    bool RenameProven() const { return m_bRenameProven; }
    void SetRenameProven() { m_bRenameProven = true; }
    // Whether the target belongs to whom a new file of the login user's in
    // this folder belongs (owner and group), so that a file put in its
    // place changes neither.
    bool SameAsOwnFile(const CListingFields& target) const {
        return m_bOwnerKnown && target.owner == m_strOwner && target.group == m_strGroup;
    }

private:
    bool m_bListed = false;
    std::unordered_map<std::string, CListingFields> m_entries;
    std::set<std::string> m_kept;
    std::set<std::string> m_owners;  // "owner\ngroup" of every line read
    bool m_bStraight = false;
    bool m_bOwnerTried = false;
    bool m_bOwnerKnown = false;
    bool m_bRenameProven = false;
    std::string m_strOwner, m_strGroup;
    int m_nNewMode = -1;
};

// A plain file with one link, writable by its owner and with plain bits:
// the only target whose place a temporary file may take (owner and group
// are looked at apart).
bool IsReplaceableTarget(const CListingFields& target);

// What one run of sends has learned of the remote folders and hosts: each
// folder's listing, and the hosts whose every send goes straight because
// they refused a command only the temporary name needs.
class CSendTargets {
public:
    // items: the run's items; their names are kept from temporary names.
    explicit CSendTargets(const std::vector<CFileItem>& items);
    CFolderTargets& Folder(const CFileItem& item);
    bool Straight(const CFileItem& item) const { return m_straight.count(HostKey(item)) != 0; }
    // From now on the host's sends go straight; false when they did already.
    bool SetStraight(const CFileItem& item) { return m_straight.insert(HostKey(item)).second; }
    // Whether some folder of the host showed more than one owner.
    bool ShowsOwners(const CFileItem& item) const { return m_owners.count(HostKey(item)) != 0; }
    void SetShowsOwners(const CFileItem& item) { m_owners.insert(HostKey(item)); }
    // Marks the host as told about something once; false when it was.
    bool Tell(const CFileItem& item, const std::string& what) {
        return m_told.insert(HostKey(item) + '\n' + what).second;
    }

    // The symbolic links a listing of the item's folder shows.
    void ReadLinks(const CFileItem& item, const std::string& listing);
    // The folders (paths as a link leads there, without a slash at the
    // end) that a link of the items leads into and whose listing was not
    // read yet: read each (ReadLinks, with the folder as the item's), or
    // mark it not listed where the server would not list it.
    std::set<std::string> UnreadLinkFolders(const std::vector<CFileItem>& items) const;
    void MarkNotListed(const CFileItem& item);
    // The paths where a link of the items leads to a name its folder's
    // listing leaves out (a hidden or an unreadable name, or no file at
    // all). The server is asked about each; a name it has, or where it
    // does not tell, leaves the link's end unknown.
    std::set<std::string> UnshownLinkEnds(const std::vector<CFileItem>& items) const;
    void MarkUnknownLinkEnd(const CFileItem& item, const std::string& path);
    // Whether the item's own folder is one the server would not list.
    bool InUnlistedFolder(const CFileItem& item) const;
    // What the commands that name one file exactly told of the item's
    // name: 1 the server has a file there, 0 neither a file nor a link,
    // -1 they did not tell (the state of a name never asked).
    void SetNameState(const CFileItem& item, int there);
    int NameState(const CFileItem& item) const;
    // How many links of a chain are followed: a chain that leads on is
    // refused as one whose way no listing shows.
    static constexpr int kMaxLinkSteps = 8;
    // An item refused for a link, and why: "link.html is a link to
    // index.html on the server".
    struct LinkedTarget {
        size_t index;
        std::string reason;
    };
    // The items that write one server file under another name: an item's
    // name is a link, shown in its folder's listing, to another item's file
    // (or to a further link that leads there, in that folder or another),
    // and the two are sent from different local files. Whichever went last
    // would replace the other. Within the run (items) both are refused; an
    // item of others (the items of the loaded sessions, which later runs
    // send) refuses the run's items that write its file through a link, so
    // that the file keeps the text of the item of its own name across
    // runs. An item in a folder the server would not list, or whose link
    // leads where no listing shows the way on (such a folder, an unknown
    // end, a chain longer than is followed), is refused too: the file it
    // would write cannot be told. In a folder the server would not list,
    // an item goes where its name cannot write another item's file (see
    // SetNameState), or where it is the run's one item.
    std::vector<LinkedTarget> FindLinkedTargetItems(const std::vector<CFileItem>& items,
                                                    const std::vector<CFileItem>& others = {}) const;

private:
    static std::string HostKey(const CFileItem& item);
    static std::string FolderKey(const CFileItem& item);
    std::map<std::string, std::vector<std::string>> m_names;  // the run's names by folder path
    std::map<std::string, CFolderTargets> m_folders;
    std::set<std::string> m_straight, m_owners, m_told;
    // By folder (host, user and path), the links read: name -> target as listed.
    std::map<std::string, std::map<std::string, std::string>> m_links;
    // By folder, every name its listing shows.
    std::map<std::string, std::set<std::string>> m_shown;
    // Folders the server would not list, and link ends it did not tell of
    // (host, user and path).
    std::set<std::string> m_notListed, m_unknownEnds;
    std::map<std::string, int> m_nameStates;  // by account and path
    bool UnlistedNameRefused(const std::vector<CFileItem>& items, size_t i) const;
    struct WrittenFile;
    WrittenFile Follow(const CFileItem& item) const;
};
