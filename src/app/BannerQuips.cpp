#include "app/BannerQuips.h"

const Quip g_Quips[kQuipCount] = {
    {"Quorvellian keeps your files, sessions and hosts in step.", "Press any key to start working."},
    {"A file in the hand", "is worth two on the server."},
    {"Measure twice,", "transfer once."},
    {"There are two kinds of people:", "those who keep backups and those who will."},
    {"Every basket holds", "a little order."},
    {"The remote copy changed?", "Look for the little arrow."},
    {"Slow and steady", "syncs the race."},
    {"Today's macro", "is tomorrow's library."},
    {"Find, replace,", "repeat."},
    {"A clean vault", "is a happy vault."},
    {"When in doubt,", "diff it out."},
    {"Keep calm", "and press F5."},
    {"Good names", "save long searches."},
    {"One session at a time,", "one file at a time."},
    {"The shortest path to a file", "is the one you saved."},
    {"Text is just bytes", "waiting for a purpose."},
    {"Pin what matters,", "let the rest flow."},
    {"Small steps,", "big transfers."},
    {"Wild-cards are tame", "once you know them."},
    {"Order your baskets", "and your day follows."},
    {"Yesterday's log", "answers today's question."},
    {"A tidy host", "is a fast host."},
    {"Between local and remote", "lies the timestamp."},
    {"Copy, paste, compare:", "the editor's rhythm."},
    {"Nothing is lost", "that was saved twice."},
    {"The best shortcut", "is the one you remember."},
    {"Sort the lines,", "sort the mind."},
    {"An empty basket", "is a fresh start."},
    {"Every line break", "tells a story."},
    {"Files travel light", "when their names are short."},
    {"Trust the log,", "it never forgets."},
    {"A session well named", "is half organised."},
    {"Three-way diffs", "settle two-way arguments."},
    {"Patience is", "an FTP virtue."},
    {"Convert today,", "smile tomorrow."},
    {"Big changes start", "with a single macro."},
    {"The palette remembers", "what you collected."},
    {"Hosts come and go,", "accounts stay in the vault."},
    {"If it blinks,", "it wants attention."},
    {"Read twice,", "replace once."},
    {"Work files in order,", "worries out of the way."},
    {"Have a productive day!", "Your files are waiting."},
};

BannerStep CBannerShow::Next() {
    BannerStep s{};
    s.quip = m_rand() % kQuipCount;
    if (++m_count == 2) s.quip = 0;
    m_rand();  // drawn and discarded
    s.dx = m_rand() % 150;
    s.dy = m_rand() % 150;
    if (m_rand() % 2) s.dx = -s.dx;
    if (m_rand() % 2) s.dy = -s.dy;
    s.darkText = m_rand() % 2 == 0;
    for (int& c : s.dark) c = m_rand() % 125 + 25;
    for (int& c : s.light) c = m_rand() % 125 + 125;
    return s;
}
