// What one listing of a remote folder tells of the files a send is about
// to replace: the kind of each entry, its link count, owner, group and
// permission bits, and which names are taken. A send goes through a
// temporary name only where that keeps everything a plain STOR keeps.
#pragma once

#include <string>
#include <unordered_map>

// The leading fields of a UNIX listing line ("-rw-r----- 1 ann staff 9 ...").
struct CListingFields {
    char type = '?';     // '-' a plain file, 'd' a folder, 'l' a link, ...
    int links = 0;       // 0 when the line shows none
    std::string owner, group;
    int mode = -1;       // 0 to 0777; -1 when the bits say more (set-id, sticky, an ACL)
};

// False when the line does not start with permission bits, a link count,
// an owner, a group and a size.
bool ReadListingFields(const std::string& line, CListingFields& out);

class CFolderTargets {
public:
    // Reads a "LIST -a" text of the folder. HiddenShown() tells whether the
    // listing showed the names starting with a dot (it lists "." or "..").
    void Read(const std::string& listing);
    bool Listed() const { return m_bListed; }
    bool HiddenShown() const { return m_bHiddenShown; }
    // As long as the longest listing some servers give (pure-ftpd's 10,000
    // entries): names past it may be missing.
    bool MayBeCut() const { return m_entries.size() >= 9990; }
    // The entry of the name, or nullptr when the listing does not have it.
    const CListingFields* Find(const std::string& name) const;
    bool Has(const std::string& name) const { return m_entries.count(name) != 0; }
    // A name the listing does not have: "." + name + ".qvl-part", or that
    // with "-1", "-2", ... added; "" when none fits in maxBytes.
    std::string FreeTemporaryName(const std::string& fileName, size_t maxBytes) const;
    // Marks a name as taken (the server has a file of that name).
    void Take(const std::string& name) { m_entries.emplace(name, CListingFields()); }

    // Who a file made in this folder by the login user belongs to, learned
    // once from the line of one such file (nullptr: it was not listed).
    bool OwnerTried() const { return m_bOwnerTried; }
    void SetOwnerFrom(const CListingFields* made) {
        m_bOwnerTried = true;
        if (!made || made->owner.empty()) return;
        m_bOwnerKnown = true;
        m_strOwner = made->owner;
        m_strGroup = made->group;
        m_nNewMode = made->mode;
    }
    // The bits the server gives a new file here; -1 when not known.
    int NewFileMode() const { return m_nNewMode; }
    // Whether the target belongs to whom a new file of the login user's in
    // this folder belongs (owner and group), so that a file put in its
    // place changes neither.
    bool SameAsOwnFile(const CListingFields& target) const {
        return m_bOwnerKnown && target.owner == m_strOwner && target.group == m_strGroup;
    }

private:
    bool m_bListed = false;
    bool m_bHiddenShown = false;
    std::unordered_map<std::string, CListingFields> m_entries;
    bool m_bOwnerTried = false;
    bool m_bOwnerKnown = false;
    std::string m_strOwner, m_strGroup;
    int m_nNewMode = -1;
};

// A plain file with one link, writable by its owner and with plain bits:
// the only target whose place a temporary file may take (owner and group
// are looked at apart).
bool IsReplaceableTarget(const CListingFields& target);
