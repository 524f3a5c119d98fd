#include "convert/Tabulate.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iterator>

#include "compare/TextAccess.h"
#include "convert/TextTools.h"

namespace {
std::string ReplaceAllOf(std::string s, const std::string& from, const std::string& to) {
    for (std::size_t p = 0; (p = s.find(from, p)) != std::string::npos; p += to.size())
        s.replace(p, from.size(), to);
    return s;
}

std::string Trim(const std::string& s) {
    const char* ws = " \t\r\n";
    const std::size_t b = s.find_first_not_of(ws);
    if (b == std::string::npos) return std::string();
    const std::size_t e = s.find_last_not_of(ws);
    return s.substr(b, e - b + 1);
}

void PadTo(std::string& s, std::size_t width) {
    const std::size_t n = Utf8Length(s);
    if (n < width) s.append(width - n, ' ');
}

const std::string& NameOf(const TabulateParams& p, int k) {
    static const std::string none;
    return k >= 0 && k < static_cast<int>(p.columnNames.size()) ? p.columnNames[k] : none;
}

std::string CellOf(const std::vector<std::string>& cells, int k) {
    return k >= 0 && k < static_cast<int>(cells.size()) ? cells[k] : std::string();
}

// The reserved words of SQL (the standard's, with a few that common
// databases add), in capitals and sorted: as a name they must be quoted.
const char* const kSqlReservedWords[] = {
    "ABSOLUTE", "ACTION", "ADD", "ALL", "ALLOCATE", "ALTER", "AND", "ANY", "ARE", "ARRAY", "AS",
    "ASC", "ASSERTION", "ASYMMETRIC", "AT", "AUTHORIZATION", "AVG", "BEGIN", "BETWEEN", "BIGINT",
    "BINARY", "BIT", "BIT_LENGTH", "BLOB", "BOOLEAN", "BOTH", "BY", "CALL", "CASCADE", "CASCADED",
    "CASE", "CAST", "CATALOG", "CHAR", "CHARACTER", "CHARACTER_LENGTH", "CHAR_LENGTH", "CHECK",
    "CLOB", "CLOSE", "COALESCE", "COLLATE", "COLLATION", "COLUMN", "COMMIT", "CONNECT",
    "CONNECTION", "CONSTRAINT", "CONSTRAINTS", "CONTINUE", "CONVERT", "CORRESPONDING", "COUNT",
    "CREATE", "CROSS", "CUBE", "CURRENT", "CURRENT_DATE", "CURRENT_ROLE", "CURRENT_TIME",
    "CURRENT_TIMESTAMP", "CURRENT_USER", "CURSOR", "CYCLE", "DATE", "DAY", "DEALLOCATE", "DEC",
    "DECIMAL", "DECLARE", "DEFAULT", "DEFERRABLE", "DEFERRED", "DELETE", "DESC", "DESCRIBE",
    "DESCRIPTOR", "DIAGNOSTICS", "DISCONNECT", "DISTINCT", "DOMAIN", "DOUBLE", "DROP", "EACH",
    "ELSE", "END", "ESCAPE", "EXCEPT", "EXCEPTION", "EXEC", "EXECUTE", "EXISTS", "EXTERNAL",
    "EXTRACT", "FALSE", "FETCH", "FILTER", "FIRST", "FLOAT", "FOR", "FOREIGN", "FOUND", "FROM",
    "FULL", "FUNCTION", "GET", "GLOBAL", "GO", "GOTO", "GRANT", "GROUP", "GROUPING", "HAVING",
    "HOUR", "IDENTITY", "IMMEDIATE", "IN", "INDICATOR", "INITIALLY", "INNER", "INPUT",
    "INSENSITIVE", "INSERT", "INT", "INTEGER", "INTERSECT", "INTERVAL", "INTO", "IS", "ISOLATION",
    "JOIN", "KEY", "LANGUAGE", "LAST", "LATERAL", "LEADING", "LEFT", "LEVEL", "LIKE", "LIMIT",
    "LOCAL", "LOCALTIME", "LOCALTIMESTAMP", "LOWER", "MATCH", "MAX", "MERGE", "METHOD", "MIN",
    "MINUTE", "MODULE", "MONTH", "NAMES", "NATIONAL", "NATURAL", "NCHAR", "NEW", "NEXT", "NO",
    "NOT", "NULL", "NULLIF", "NUMERIC", "OCTET_LENGTH", "OF", "OFFSET", "OLD", "ON", "ONLY", "OPEN",
    "OPTION", "OR", "ORDER", "OUTER", "OUTPUT", "OVER", "OVERLAPS", "PAD", "PARTIAL", "PARTITION",
    "POSITION", "PRECISION", "PREPARE", "PRESERVE", "PRIMARY", "PRIOR", "PRIVILEGES", "PROCEDURE",
    "PUBLIC", "RANGE", "READ", "REAL", "RECURSIVE", "REFERENCES", "RELATIVE", "RELEASE", "RESTRICT",
    "RETURN", "RETURNS", "REVOKE", "RIGHT", "ROLLBACK", "ROLLUP", "ROW", "ROWS", "SAVEPOINT",
    "SCHEMA", "SCROLL", "SEARCH", "SECOND", "SECTION", "SELECT", "SESSION", "SESSION_USER", "SET",
    "SIMILAR", "SIZE", "SMALLINT", "SOME", "SPACE", "SPECIFIC", "SQL", "SQLCODE", "SQLERROR",
    "SQLEXCEPTION", "SQLSTATE", "SQLWARNING", "START", "SUBSTRING", "SUM", "SYMMETRIC", "SYSTEM",
    "SYSTEM_USER", "TABLE", "TABLESAMPLE", "TEMPORARY", "THEN", "TIME", "TIMESTAMP",
    "TIMEZONE_HOUR", "TIMEZONE_MINUTE", "TO", "TRAILING", "TRANSACTION", "TRANSLATE", "TRANSLATION",
    "TREAT", "TRIGGER", "TRIM", "TRUE", "UNION", "UNIQUE", "UNKNOWN", "UNNEST", "UPDATE", "UPPER",
    "USAGE", "USER", "USING", "VALUE", "VALUES", "VARCHAR", "VARYING", "VIEW", "WHEN", "WHENEVER",
    "WHERE", "WINDOW", "WITH", "WITHIN", "WORK", "WRITE", "YEAR", "ZONE",
};

bool IsSqlReservedWord(const std::string& word) {
    std::string upper = word;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return std::binary_search(std::begin(kSqlReservedWords), std::end(kSqlReservedWords), upper,
                              [](const std::string& a, const std::string& b) { return a < b; });
}

// A column name as the statement takes it: a plain name (letters, digits,
// "_", "$", "." parts, not starting with a digit) stands as it is, but a part
// of it that is a reserved word is quoted; any other name is quoted whole as
// an identifier, an embedded double quote doubled.
std::string SqlName(const std::string& raw) {
    const std::size_t first = raw.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    const std::string name = raw.substr(first, raw.find_last_not_of(" \t") - first + 1);
    bool plain = !std::isdigit(static_cast<unsigned char>(name[0])) && name[0] != '.' && name.back() != '.';
    for (char c : name)
        plain = plain && (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '.');
    if (plain) {
        std::string out;
        for (std::size_t from = 0;;) {
            const std::size_t dot = name.find('.', from);
            const std::string part = name.substr(from, dot == std::string::npos ? std::string::npos : dot - from);
            out += IsSqlReservedWord(part) ? "\"" + part + "\"" : part;
            if (dot == std::string::npos) return out;
            out += '.';
            from = dot + 1;
        }
    }
    return "\"" + ReplaceAllOf(name, "\"", "\"\"") + "\"";
}

bool QuoteOf(const TabulateParams& p, int k) {
    return k >= 0 && k < static_cast<int>(p.quoteColumns.size()) ? p.quoteColumns[k] != 0 : true;
}
}  // namespace

std::string DecodeDelimiter(const std::string& delimiter) {
    return ReplaceAllOf(ReplaceAllOf(delimiter, "^t", "\t"), "<blank>", " ");
}

void SplitAtCharacter(std::vector<std::string>& cells, const std::string& line, char ch) {
    std::size_t from = 0;
    for (std::size_t p; (p = line.find(ch, from)) != std::string::npos; from = p + 1)
        cells.push_back(line.substr(from, p - from));
    if (from < line.size()) cells.push_back(line.substr(from));
}

void SplitAtColumnStarts(std::vector<std::string>& cells, const std::string& line,
                         const std::vector<int>& starts) {
    const int n = static_cast<int>(line.size());
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const int s = starts[i];
        int e = i + 1 < starts.size() ? starts[i + 1] : n;
        // A short line keeps what it has of a column; a column it does not
        // reach at all is left out.
        if (s < 0 || s >= n || e < s) continue;
        if (e > n) e = n;
        cells.push_back(Trim(line.substr(s, e - s)));
    }
}

void SplitLineIntoColumns(const std::string& delimiter, const std::string& line,
                          std::vector<std::string>& cells, const std::vector<int>& starts) {
    const std::string d = DecodeDelimiter(delimiter);
    if (d.empty()) {
        cells.push_back(line);
        return;
    }
    if (d == " ")
        SplitAtColumnStarts(cells, line, starts);
    else
        SplitAtCharacter(cells, line, d[0]);
}

std::string TabulateText(const std::string& text, const TabulateParams& params) {
    std::vector<std::vector<std::string>> rows;
    for (const std::string& line : SplitTextIntoLines(text)) {
        std::vector<std::string> cells;
        SplitLineIntoColumns(params.delimiter, line, cells, params.columnStarts);
        if (cells.empty()) continue;
        std::vector<std::string> row;
        for (int k : params.selectedColumns)
            if (k >= 0 && k < static_cast<int>(cells.size())) row.push_back(cells[k]);
        if (!row.empty()) rows.push_back(std::move(row));
    }
    if (params.transpose) {
        std::size_t n = 0;
        for (const auto& r : rows) n = std::max(n, r.size());
        std::vector<std::vector<std::string>> t(n);
        for (std::size_t c = 0; c < n; ++c)
            for (const auto& r : rows) t[c].push_back(c < r.size() ? r[c] : std::string());
        rows = std::move(t);
    }
    std::vector<std::size_t> widths;
    for (const auto& r : rows)
        for (std::size_t c = 0; c < r.size(); ++c) {
            if (widths.size() <= c) widths.resize(c + 1, 0);
            widths[c] = std::max(widths[c], Utf8Length(r[c]));
        }
    const std::size_t gutter = static_cast<std::size_t>(std::max(0, params.gutter));
    std::string out;
    for (const auto& r : rows) {
        for (std::size_t c = 0; c < r.size(); ++c) {
            std::string cell = r[c];
            if (c + 1 < r.size()) PadTo(cell, widths[c] + gutter);
            out += cell;
        }
        out += "\r\n";
    }
    return out;
}

bool IsNumericLiteral(const std::string& text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < n && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
        std::size_t exp = 0;
        while (i < n && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++exp;
        if (exp == 0) return false;
    }
    return i == n;
}

bool IsNumericText(const std::string& text) { return IsNumericLiteral(text); }

std::string SqlValue(const std::string& value, bool quote) {
    if (!quote && IsNumericLiteral(value)) return value;
    return "'" + ReplaceAllOf(value, "'", "''") + "'";
}

std::string BuildAssignmentList(const std::vector<int>& columns, const std::vector<std::string>& cells,
                                const TabulateParams& params, const std::string& joiner) {
    std::string out;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const int k = columns[i];
        out += "    " + SqlName(NameOf(params, k)) + " = " + SqlValue(CellOf(cells, k), QuoteOf(params, k));
        if (i + 1 < columns.size()) out += joiner;
        out += "\r\n";
    }
    return out;
}

std::string WriteSqlUpdate(const std::string& line, const TabulateParams& params) {
    std::vector<std::string> cells;
    SplitLineIntoColumns(params.delimiter, line, cells, params.columnStarts);
    const std::string set = BuildAssignmentList(params.selectedColumns, cells, params, ",");
    const std::string where = BuildAssignmentList(params.whereColumns, cells, params, " AND");
    std::string out = "UPDATE " + params.tableName + " SET \r\n" + set;
    if (!where.empty()) out += " WHERE \r\n" + where;
    return out;
}

std::string WriteSqlInsert(const std::string& line, const TabulateParams& params) {
    std::vector<std::string> cells;
    SplitLineIntoColumns(params.delimiter, line, cells, params.columnStarts);
    std::string names, values;
    for (std::size_t i = 0; i < params.selectedColumns.size(); ++i) {
        const int k = params.selectedColumns[i];
        if (i) {
            names += ", ";
            values += ", ";
        }
        names += SqlName(NameOf(params, k));
        values += SqlValue(CellOf(cells, k), QuoteOf(params, k));
    }
    return "INSERT INTO " + params.tableName + " (" + names + ") \r\nVALUES (" + values + ")\r\n";
}

std::string WriteSqlDelete(const std::string& line, const TabulateParams& params) {
    std::vector<std::string> cells;
    SplitLineIntoColumns(params.delimiter, line, cells, params.columnStarts);
    // Without a WHERE list every selected column identifies the row: a DELETE
    // never goes out without a condition.
    const std::vector<int>& cols = params.whereColumns.empty() ? params.selectedColumns : params.whereColumns;
    return "DELETE FROM " + params.tableName + " WHERE \r\n" + BuildAssignmentList(cols, cells, params, " AND");
}

std::string TabulateOrWriteSql(const std::string& text, const TabulateParams& params) {
    if (text.empty()) return std::string();
    if (params.sqlMode == 0) return TabulateText(text, params);
    std::string out;
    const std::vector<std::string> lines = SplitTextIntoLines(text);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].empty()) continue;
        if (params.sqlMode == 1) out += WriteSqlUpdate(lines[i], params);
        else if (params.sqlMode == 2) out += WriteSqlInsert(lines[i], params);
        else out += WriteSqlDelete(lines[i], params);
        out += "\r\n";
    }
    return out;
}

// ---------------------------------------------------------------- dialog rules

std::vector<int> FindBlankColumnStarts(const std::string& line) {
    std::vector<int> starts{0};
    std::size_t i = 0;
    const std::size_t n = line.size();
    while (i < n && line[i] == ' ') ++i;
    while (i < n && line[i] != ' ') ++i;  // the first word
    while (i < n) {
        while (i < n && line[i] != ' ') ++i;
        if (i >= n) break;
        while (i < n && line[i] == ' ') ++i;
        if (i < n) starts.push_back(static_cast<int>(i));
    }
    return starts;
}

std::string GuessDelimiter(const std::string& firstLine, const std::string& current,
                           std::vector<int>& starts) {
    if (firstLine.empty()) return current;
    if (firstLine.find('\t') != std::string::npos) return "^t";
    if (firstLine.find('|') != std::string::npos) return "|";
    if (firstLine.find(',') != std::string::npos) return ",";
    if (firstLine.find(' ') != std::string::npos) {
        starts = FindBlankColumnStarts(firstLine);
        return "<blank>";
    }
    return current;
}

std::vector<int> ParseIndexList(const std::string& text) {
    std::vector<int> out;
    std::size_t from = 0;
    while (from <= text.size()) {
        std::size_t p = text.find(' ', from);
        if (p == std::string::npos) p = text.size();
        if (p > from) out.push_back(std::atoi(text.substr(from, p - from).c_str()));
        from = p + 1;
    }
    return out;
}

TabulateCheck ValidateTabulateInput(const TabulateInput& in, TabulateParams& params) {
    params.selectedColumns.clear();
    params.whereColumns.clear();
    if (in.delimiter.empty()) return {"Delimiter is empty.", 1608};
    const std::vector<int> sel = ParseIndexList(in.columnSel);
    if (sel.empty()) return {"No columns selected.", 0};
    for (int k : sel) {
        if (k < 1 || k > in.columnCount)
            return {"Invalid index listed for the column selection: " + std::to_string(k), 1659};
        params.selectedColumns.push_back(k - 1);
    }
    for (int k : ParseIndexList(in.whereSel)) {
        if (k < 1 || k > in.columnCount)
            return {"Invalid index listed for the WHERE selection: " + std::to_string(k), 1660};
        params.whereColumns.push_back(k - 1);
    }
    const int gutter = std::atoi(in.gutter.c_str());
    if (gutter < 0 || gutter > 200) return {"Gutter must be:   0 <= value <= 200.", 0};
    params.delimiter = DecodeDelimiter(in.delimiter);
    params.gutter = gutter;
    params.transpose = in.transpose;
    if (in.sql) {
        const std::string table = Trim(in.tableName);
        if (table.empty()) return {"Emtpy database..table name.", 1606};
        params.tableName = table;
    }
    return {};
}
