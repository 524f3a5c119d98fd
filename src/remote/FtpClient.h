// A blocking FTP client: one control connection to one (host, user) and a
// passive-mode data connection for every listing and file transfer.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "model/SafeFile.h"
#include "remote/DirEntry.h"

class CFtpClient {
public:
    // Every failure of the client. what() is the server's reply text or a
    // fixed message. ConnectionLost() tells that the control connection can
    // no longer be used (no reply, a failed send, a time-out).
    class FTPException : public std::domain_error {
    public:
        explicit FTPException(const std::string& text, bool connectionLost = false)
            : std::domain_error(text), m_bConnectionLost(connectionLost) {}
        bool ConnectionLost() const { return m_bConnectionLost; }
    private:
        bool m_bConnectionLost;
    };

    // Thrown when a fetch leaves the local file because it is no longer the
    // file it was told to replace (see RetrieveFile); the connection stays
    // in step.
    class LocalFileChanged : public FTPException {
    public:
        using FTPException::FTPException;
    };

    // Thrown by RetrievesSameBytes when the server answers RETR with 550:
    // it gives no such file. The connection stays in step.
    class RemoteFileRefused : public FTPException {
    public:
        using FTPException::FTPException;
    };

    // Thrown where a type command sent with the next PASV (see
    // SetBinaryMode) was refused: what() is the type's reply. The PASV's
    // own reply was read, so the connection stays in step.
    class TypeRefused : public FTPException {
    public:
        using FTPException::FTPException;
    };

    // Thrown when the FTP break flag stops a file copy between two blocks.
    // The data connection is closed already; the worker that catches it ends
    // with "User-aborted" and closes the host's connections.
    class UserAbort : public std::exception {
    public:
        UserAbort(std::string host, std::string user, bool upload, std::string remote,
                  bool remoteKept = false)
            : m_strHost(std::move(host)), m_strUser(std::move(user)),
              m_bUpload(upload), m_strRemote(std::move(remote)), m_bRemoteKept(remoteKept) {}
        const char* what() const noexcept override { return "User-aborted"; }
        const std::string& Host() const { return m_strHost; }
        const std::string& User() const { return m_strUser; }
        bool WasUpload() const { return m_bUpload; }
        const std::string& RemoteFile() const { return m_strRemote; }
        // An upload that went to a temporary name: the remote file itself
        // was not touched.
        bool RemoteKept() const { return m_bRemoteKept; }
    private:
        std::string m_strHost, m_strUser;
        bool m_bUpload;
        std::string m_strRemote;
        bool m_bRemoteKept;
    };

    // Bytes per block of a data copy; the break flag is read between blocks.
    static constexpr size_t kBlockSize = 64 * 1024;

    CFtpClient();
    virtual ~CFtpClient();
    CFtpClient(const CFtpClient&) = delete;
    CFtpClient& operator=(const CFtpClient&) = delete;

    // Opens the control connection (port 21, or QVL_FTP_PORT), reads the
    // greeting (220), logs in and stores host, user and password.
    void Connect(const std::string& host, const std::string& user, const std::string& password);
    void Connect(const std::string& host, const std::string& user, const std::string& password,
                 int port);
    // Sends QUIT (no reply read) and closes both sockets.
    void Disconnect();
    // Unblocks any call in progress on another thread (used when closing).
    void Shutdown();
    // Stops whatever the connection does from another thread: the call in
    // progress ends with the connection lost, and so does every later one
    // until the next Connect.
    void Abort();
    bool Aborted() const { return m_bAborted; }

    void Login(const std::string& user, const std::string& password);
    // A connect still waited for ends when a stop is raised (after the
    // stop's short wait, as a reply's).
    int OpenSocket(const std::string& host, int port);
    // Every command first sets aside the replies the server sent unasked
    // (see SendControl), then reads its own.
    int SendCommand(const std::string& command, const std::string& argument, std::string& reply);
    // Whether MDTM or SIZE (the command) has answered 213 on this login: a
    // name it answers 550 then has no file, where a server that denies the
    // command answers 550 to every name (vsftpd's cmds_denied).
    bool AnsweredForAFile(const std::string& command) const { return m_answeredForFile.count(command) != 0; }
    // Marks the command as asked of a file known to be there, to find that
    // out; false where it was on this login already.
    bool FirstAskOfKnownFile(const std::string& command) { return m_askedKnownFile.insert(command).second; }
    // A command (MDTM) asked of a file the login just sent or fetched, and
    // answered with code: a server that does not know the command (500,
    // 502, 504), or that refuses it for two such files and never answered
    // 213 (vsftpd's cmds_denied answers 550), refuses it for every file of
    // this login. RefusesForFiles then tells so, and it is not asked again.
    void NoteAnswerForAFile(const std::string& command, int code);
    bool RefusesForFiles(const std::string& command) const {
        return !AnsweredForAFile(command) && m_refusedForFiles.count(command) != 0;
    }
    int SendCommandWithReply(const std::string& line, std::string& reply);
    // The reply to the command sent last, within the reply time-out as a
    // whole; a line past the line limit or a reply past the line count ends
    // it with the connection lost. A reply that cannot answer that command
    // (one that only another command gets, or a 421: the server is closing)
    // is not taken for its answer: the replies are out of step, and the
    // connection is lost. A 1xx before the final reply of a command that
    // opens no transfer is a preliminary reply, passed over.
    // Once the FTP break flag is up (or the connection is aborted), a reply
    // still awaited gets the stop's short wait only, then the connection is
    // lost: a server that withholds a reply cannot hold a stopped run.
    int ReadReply(std::string& reply);
    // Whether a reply with this code can answer the command (its first word,
    // upper case); started: a transfer's 1xx was read, its end is awaited.
    // "" stands for the greeting, which nothing asked for.
    static bool CanAnswer(const std::string& command, bool started, int code);
    // The server's word on a transfer the client cut short by closing the
    // data connection: any one reply, a 1xx too (pure-ftpd's word there);
    // a second one is set aside before the next command.
    int ReadCutTransferReply(std::string& reply);
    // The final reply to a command that opens no data connection: a 1xx
    // line is a preliminary reply, and the final one follows it.
    int ReadFinalReply(std::string& reply);
    std::string ReadLine();
    void EnterPassiveModeAtLogin();
    std::string GetSystemType();

    // Sends PASV; the reply must be 227. Returns the data port.
    int EnterPassiveMode();
    // TYPE I / TYPE A; 200, else FTPException. With next, the command is
    // not sent here: it goes out with the connection's next PASV, in the
    // same write, and its reply is read before the PASV's (no round trip of
    // its own); a refusal is thrown there as TypeRefused. A connection the
    // server already took that type on sends none (unless MDTM commands
    // owed wait for a command to go with now).
    void SetBinaryMode(bool withNext = false);
    void SetAsciiMode(bool withNext = false);
    // Opens the data connection of the next data command now (PASV, with
    // the owed MDTM and type commands before it, and the connect): that
    // command uses it. A refused type is thrown here.
    void OpenDataConnectionAhead();
    // The transfer type this connection is in: "ASCII" (the server's start
    // type) or "BINARY". In ASCII the client turns LF into CR LF on the way
    // up and CR LF into LF on the way down.
    std::string GetTransferType() const { return m_bBinary ? "BINARY" : "ASCII"; }
    bool KeepAlive(std::string& text);
    void ChangeDirectory(const std::string& directory);
    void MakeDirectory(const std::string& directory);
    void RemoveDirectory(const std::string& directory);
    void DeleteFile(const std::string& fileName);
    // RNFR from, RNTO to (350, then 250); a refusal throws.
    void RenameFile(const std::string& from, const std::string& to);
    std::string GetCurrentDirectory();

    // The LIST of one path as text. A path the server does not find gives
    // an empty text. Every listing ends within the listing time-out as a
    // whole, and at once when the FTP break flag goes up or the connection
    // is aborted (each with the connection lost).
    std::string ListToText(const std::string& path);
    // The LIST of a whole folder, asked for from inside it (CWD, LIST, CWD
    // back), so that no server reads blanks or wild cards in the folder's
    // name as options or patterns. A server without PWD gets "LIST folder".
    std::string ListFolderToText(const std::string& folder);
    // The same with a pattern for LIST ("LIST pattern" inside the folder).
    std::string ListFolderToText(const std::string& folder, const std::string& pattern);
    // Whether CWD into the folder works; the working folder stays as it was.
    bool FolderExists(const std::string& folder);
    // The second (0 to 59) of the file's modification time by MDTM, or -1
    // when the server does not tell.
    int GetModificationSecond(const std::string& path);
    // The same for many files at once: the MDTM commands go out in groups
    // and their replies are read in order, one round trip a group instead
    // of one a file. One entry a path, -1 where the server gave none.
    std::vector<int> GetModificationSeconds(const std::vector<std::string>& paths);
    // MDTM of one file: the reply code (213: the time is in reply). A reply
    // that answers another command drops the connection.
    int SendModificationTime(const std::string& path, std::string& reply);
    // MDTM of many files at once, in groups as GetModificationSeconds sends
    // them: one reply code and text a path.
    // A NOOP closes each group: its reply in the place of an MDTM's, or an
    // MDTM's in the place of its own, shows the replies out of step (a
    // doubled or withheld reply), and the group is asked again once; never
    // taken file by file. A stop keeps the replies read before it (fewer
    // than the paths), and the connection is not used again.
    std::vector<std::pair<int, std::string>> SendModificationTimes(const std::vector<std::string>& paths);
    // The time of a file whose transfer just ended is owed: its MDTM goes
    // out at once, and its reply is read before the connection's next
    // command goes (or by TakeAskedTimes), so it costs no round trip of its
    // own and is read before the next transfer starts. A reply out of step
    // there proves nothing (the connection is lost).
    struct TimeReply {
        std::string path;
        int code = 0;
        std::string reply;
    };
    void AskTimeWithNextCommand(const std::string& path);
    // The same for the file the next RetrieveFile of path fetches: its MDTM
    // goes out the moment the transfer's final reply is read, before the
    // local file is finished. TakeTimeAskedAfterFetch tells whether it
    // went, and forgets both.
    void AskTimeAfterFetch(const std::string& path);
    bool TakeTimeAskedAfterFetch(const std::string& path);
    // The replies read for those, in the order asked; with now, those not
    // yet sent are asked at once first. They leave the client.
    std::vector<TimeReply> TakeAskedTimes(bool now);
    bool HasAskedTimes() const {
        return !m_timeAsks.empty() || !m_timeSent.empty() || !m_timeUnproved.empty() || !m_timeReplies.empty();
    }
    void ListDirectoryUnix(const std::string& pattern, std::vector<CDirEntry>& entries);
    void ListDirectoryVms(const std::string& pattern, std::vector<CDirEntry>& entries);
    // The server's closing reply to the last of these listings when it told
    // that the listing was cut short at its limit (pure-ftpd's "Output
    // truncated to 100 matches"); "" for a whole listing.
    const std::string& ListingCut() const { return m_strListingCut; }
    // Whether a listing's closing reply tells it was cut short.
    static bool ReplyTellsListingCut(const std::string& reply);
    // Read the open data connection to its end and parse it.
    void ParseUnixListing(const std::string& pattern, std::vector<CDirEntry>& entries);
    void ParseVmsListing(const std::string& pattern, std::vector<CDirEntry>& entries);
    // The parsers on a listing text: directories first, then (unless the
    // pattern is "*.DIR") files, each group in listing order.
    static void ParseUnixListingText(const std::string& text, const std::string& pattern,
                                     std::vector<CDirEntry>& entries);
    static void ParseVmsListingText(const std::string& text, const std::string& pattern,
                                    std::vector<CDirEntry>& entries);
    // The name a UNIX listing line gives, or "" when it gives none.
    static std::string UnixListingName(const std::string& line);

    // The local file is replaced only after the server's final 226 or 250,
    // through the safe writer (a device, pipe or read-only file at the
    // target is refused). The local file is opened before RETR is sent, so
    // that a local failure leaves the connection in step. unchanged: the
    // local file as it was seen when the fetch was decided; one that is no
    // longer that file (edited, replaced, made or removed since) is left as
    // it is, before RETR where it is found then, and LocalFileChanged is
    // thrown.
    void RetrieveFile(const std::string& remoteFile, const std::string& localFile,
                      const CFileStamp* unchanged = nullptr);
    // Whether RetrieveFile would write the very bytes localFile holds now:
    // the remote file is received as RetrieveFile receives it and compared
    // with the local file as it comes, nothing written. At the first byte
    // that differs the data connection is closed and the server's reply to
    // that read: a differing file is not received to its end. A local file
    // that is not a regular file or cannot be read, and every failure of
    // the transfer, throw (the caller cannot tell); a 550 to RETR throws
    // RemoteFileRefused.
    bool RetrievesSameBytes(const std::string& remoteFile, const std::string& localFile);
    // A local path that is not a regular file is refused before STOR.
    // straight: remoteFile is the file itself, not a temporary name; on a
    // close it goes on to its end (see g_bFtpClosing).
    void PutFile(const std::string& localFile, const std::string& remoteFile, bool straight = true);
    // Sends the local file to tempFile, a name in the remote file's folder
    // that no file had, and renames it over remoteFile once the server has
    // all of it, so that remoteFile is never left cut. mode is the old
    // file's permission bits, given to the temporary before any data goes
    // into it (made empty first unless tempMade tells it is there already);
    // -1 for a new file, which keeps the server's own. A stop deletes
    // tempFile and ends with a UserAbort whose RemoteKept() is true. Where
    // the server refuses the temporary file (STOR), its bits (SITE CHMOD)
    // or the rename (RNFR, RNTO), the temporary goes and the file is sent
    // straight to remoteFile, as PutFile does; false tells that, and
    // RefusedCommand() which command it was.
    bool PutFileReplacing(const std::string& localFile, const std::string& remoteFile,
                          const std::string& tempFile, int mode, bool tempMade = false);
    const std::string& RefusedCommand() const { return m_strRefused; }
    // Whether the last PutFileReplacing may have left its temporary on the
    // server: made (or its STOR sent) and not seen renamed or deleted.
    bool TemporaryLeft() const { return m_bTemporaryLeft; }
    // Why the host will not have a temporary name renamed or deleted, as
    // found on this connection ("" while nothing was): later sends on it
    // go straight without trying again, so no run leaves one more file.
    const std::string& TemporaryRefusal() const { return m_strTemporaryRefusal; }
    void SetTemporaryRefusal(const std::string& why) { m_strTemporaryRefusal = why; }
    // Makes an empty file by STOR; false when the server refuses it.
    bool MakeEmptyFile(const std::string& remoteFile);
    // DELE of a file this client made; a refusal is let be (false).
    bool DropFile(const std::string& remoteFile);
    // Whether the last RetrieveFile in ASCII met a NUL byte in the first
    // kTextProbeSize bytes of the file: it was no text.
    bool RetrievedNulInHead() const { return m_bNulInHead; }
    static constexpr size_t kTextProbeSize = 8192;

    bool IsConnected() const { return m_bConnected; }
    const std::string& Host() const { return m_strHost; }
    const std::string& User() const { return m_strUser; }
    const std::string& Password() const { return m_strPassword; }
    std::time_t LastActivity() const { return m_tLastActivity.load(); }

private:
    void OpenDataConnection();
    // Opens the data connection and sends the command that uses it; 150 or
    // 125 leaves it open. Any other reply closes it and throws, except 450
    // and 550 with missingIsEmpty, which come back with it closed.
    int StartDataCommand(const std::string& line, std::string& reply, bool missingIsEmpty = false);
    void CloseDataConnection();
    void ReceiveFile(CSafeWriter& out, const std::string& remoteFile);
    // How reading a data connection ended: at the data's end, on a failed
    // read or a server silent past the idle limit, or where the taker of
    // the blocks said no more.
    enum class DataEnd { Whole, Failed, Taken };
    // Reads the open data connection, handing each block as it came to
    // take. A stop closes it and throws UserAbort (onStop, where given,
    // runs first).
    DataEnd ReadDataBlocks(const std::string& remoteFile, const std::function<bool(const char*, size_t)>& take,
                           const std::function<void()>& onStop);
    // straight: the data goes to the remote file itself, which a stop would
    // leave cut (see g_bFtpClosing).
    void SendFileData(std::FILE* f, const std::string& remoteFile, bool straight = false);
    std::string ReadLineBefore(std::chrono::steady_clock::time_point deadline);
    // Whether a stop (the break flag, or an abort) asks this connection's
    // waits to end.
    bool StopRaised() const;
    // While a stop is raised, when a wait that meets it ends (the stop's
    // short wait, counted from the first wait that met it); false without one.
    bool StopEnd(std::chrono::steady_clock::time_point& end);
    // A stop is raised and its short wait is over.
    bool StopWaitOver();
    // Sends a command's bytes on the control connection. A failure, a peer
    // that takes nothing for the reply time-out, or a stop (after its short
    // wait) ends it with the connection lost. Before it, whatever the
    // server has sent since the last reply is read without waiting: no
    // command asked for it, so it is set aside (and told in the log), and a
    // server that has closed the connection (after a 421) ends it lost,
    // before a command is said to a server that is gone.
    void SendControl(const std::string& text, const std::string& failure);
    void SetAsideUnasked();
    // Whether m_strPending holds a whole reply.
    bool WholeReplyPending() const;
    // One reply as the server sent it, whatever command it answers; -1 for
    // a line too short to be a reply.
    int ReadRawReply(std::string& reply, std::chrono::steady_clock::time_point deadline);
    // The reply to the NOOP closing a group of MDTM commands (group: their
    // count): true where it is NOOP's; false where the replies were out of
    // step and are in step again past NOOP's own; a connection that cannot
    // be brought in step is lost.
    bool NoopInStep(size_t group);
    // Sends the command line with the owed MDTM commands before it, in one
    // write (see AskTimeWithNextCommand); its final reply.
    int SendCarryingTimes(const std::string& line, std::string& reply);
    // The replies of the MDTM commands AskTimeWithNextCommand sent, in turn.
    void ReadSentTimes();
    // The final reply of an MDTM, checked as one (a reply that fits no MDTM
    // drops the connection).
    int ReadTimeReply(std::string& reply);
    // The times read are in step: they can be taken.
    void ProveReadTimes();
    void AskTimeOwedAfterFetch(const std::string& remoteFile);
    void QueueType(const std::string& line);
    // The type command, sent now or with the next PASV.
    void SetType(const std::string& command, bool binary, bool withNext);
    std::string ReceiveAllData();
    // The rest of a listing whose data command has started, and its end reply.
    std::string ReceiveListing();
    // The current folder, to come back to after a CWD; false when the
    // server will not tell it (a lost connection throws).
    bool WayBack(std::string& back);
    [[noreturn]] void ThrowLost(const std::string& text);
    // The second an MDTM reply gives, or -1; a reply that fits no MDTM
    // drops the connection.
    int MdtmReplySecond(int code, const std::string& reply);
    void CheckArgument(const std::string& text) const;

    // Opening and closing a socket happens under m_socketMutex: Shutdown()
    // comes from another thread and must never meet a descriptor that is
    // being closed (and may already stand for another file).
    void SetSocket(int& field, int fd);
    void CloseSocketField(int& field);

    std::mutex m_socketMutex;
    int m_nControlSocket = -1;
    int m_nDataSocket = -1;
    std::string m_strPending;  // control bytes received after the last line
    bool m_bConnected = false;
    bool m_bBinary = false;
    // The type command the server last took on this connection ("" where
    // none was taken, or one went unanswered or refused).
    std::string m_strTypeTaken;
    bool m_bDataAhead = false;  // the data connection is open for the next data command
    std::string m_strRefused;        // what the last PutFileReplacing had refused
    bool m_bTemporaryLeft = false;   // see TemporaryLeft
    std::string m_strTemporaryRefusal;
    std::set<std::string> m_answeredForFile;  // MDTM, SIZE: answered 213 since the login
    std::set<std::string> m_askedKnownFile;
    std::vector<std::string> m_timeAsks;     // owed MDTM commands, not sent yet
    std::vector<std::string> m_timeSent;     // owed MDTM commands sent, their replies not read
    std::vector<std::string> m_typeAsks;     // type commands for the next PASV, not sent yet
    std::vector<TimeReply> m_timeUnproved;   // replies read, not yet proved in step
    std::vector<TimeReply> m_timeReplies;    // their replies, not taken yet
    std::string m_strTimeAfterFetch;       // see AskTimeAfterFetch
    std::string m_strTimeAskedAfterFetch;  // its MDTM went
    std::set<std::string> m_refusedForFiles;      // commands refused for every file of this login
    std::map<std::string, int> m_refusalsForFiles;  // the files each was refused for, so far
    bool m_bStorRefused = false;     // the last PutFile's STOR had a refusal for reply
    std::string m_strSendFailure;    // why the last PutFile's data did not all go
    bool m_bNulInHead = false;
    std::string m_strListingCut;
    bool m_bStraightReply = false;   // the final reply of a straight send is awaited
    bool m_bCommandSent = false;     // the last data command's line went out whole
    bool m_bStoppedBeforeCommand = false;  // a stop ended the last data command's connect
    std::string m_strAnswering;      // the first word of the command whose reply is awaited
    bool m_bTransferStarted = false; // its transfer began (1xx): its end reply is awaited
    std::string m_strLost;           // why this side gave the control connection up
    std::string m_strClosing;        // a 421 set aside before the last command
    std::string m_strPeer;           // the host this client talks to, for the log
    std::string m_strHost, m_strUser, m_strPassword;
    std::atomic<std::time_t> m_tLastActivity{0};
    std::atomic<bool> m_bAborted{false};
    // When a wait (for a reply, a command's send or a connect) first met
    // the stop; the stop's short wait counts from there for every wait
    // until the stop is down.
    std::chrono::steady_clock::time_point m_stopSeen{};
    bool m_bStopSeen = false;
};
