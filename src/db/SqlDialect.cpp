#include "db/SqlDialect.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <mutex>
#include <sqlite3.h>
#include <unordered_set>

namespace db {

namespace {

// ---------------------------------------------------------------------------------------------
// Tokens

enum class TokenKind { End, Name, Text, Number, Date, Operator, LParen, RParen, Comma, Dot, Sign };

struct Token {
    TokenKind kind = TokenKind::End;
    QString text;   // the name, the operator, or the source text of a literal
    QVariant value; // the literal's value (text, number, date)
    bool bracketed = false;
};

Token token(TokenKind kind, const QString& text, const QVariant& value = {}, bool bracketed = false) {
    Token t;
    t.kind = kind;
    t.text = text;
    t.value = value;
    t.bracketed = bracketed;
    return t;
}

// Bare words that start another statement or a sub-query; a filter never needs them.
bool isCommandWord(const QString& upper) {
    static const QSet<QString> words = {
        QStringLiteral("SELECT"),  QStringLiteral("INSERT"),   QStringLiteral("UPDATE"),
        QStringLiteral("DELETE"),  QStringLiteral("DROP"),     QStringLiteral("ALTER"),
        QStringLiteral("CREATE"),  QStringLiteral("ATTACH"),   QStringLiteral("DETACH"),
        QStringLiteral("PRAGMA"),  QStringLiteral("REPLACE"),  QStringLiteral("VACUUM"),
        QStringLiteral("UNION"),   QStringLiteral("INTO"),     QStringLiteral("EXEC"),
        QStringLiteral("EXECUTE"), QStringLiteral("TRANSFORM")};
    return words.contains(upper);
}

std::optional<QVariant> parseJetDate(const QString& raw) {
    static const QRegularExpression form(
        QStringLiteral(R"(^\s*(?:(\d{1,4})[/-](\d{1,2})[/-](\d{1,4}))?\s*)"
                       R"((?:(\d{1,2}):(\d{2})(?::(\d{2}))?\s*([AaPp][Mm])?)?\s*$)"));
    const auto m = form.match(raw);
    if (!m.hasMatch() || raw.trimmed().isEmpty())
        return std::nullopt;
    const bool hasDate = !m.captured(1).isEmpty();
    const bool hasTime = !m.captured(4).isEmpty();
    QDate date(1899, 12, 30); // the engine's day zero, the date of a time-only literal
    if (hasDate) {
        int first = m.captured(1).toInt();
        int second = m.captured(2).toInt();
        int third = m.captured(3).toInt();
        int year = 0, month = 0, day = 0;
        if (m.captured(1).size() > 2) { // year first: #2024-01-31#
            year = first, month = second, day = third;
        } else { // the engine reads other forms as month/day/year
            month = first, day = second, year = third;
            if (m.captured(3).size() <= 2)
                year += year < 30 ? 2000 : 1900;
        }
        date = QDate(year, month, day);
        if (!date.isValid())
            return std::nullopt;
    }
    if (!hasTime)
        return QVariant(date);
    int hour = m.captured(4).toInt();
    const QString half = m.captured(7).toUpper();
    if (!half.isEmpty()) {
        if (hour < 1 || hour > 12)
            return std::nullopt;
        hour = hour % 12 + (half == u"PM" ? 12 : 0);
    }
    const QTime time(hour, m.captured(5).toInt(), m.captured(6).toInt());
    if (!time.isValid())
        return std::nullopt;
    return QVariant(QDateTime(date, time));
}

// Bounds the parser's recursion, so no text can exhaust the stack.
constexpr int maxNesting = 64;

bool isNameStart(QChar c) {
    return c.isLetter() || c == u'_';
}
bool isNamePart(QChar c) {
    return c.isLetterOrNumber() || c == u'_';
}

class Lexer {
public:
    explicit Lexer(const QString& text) : s_(text) {}

    std::optional<QList<Token>> run(QString* error) {
        QList<Token> tokens;
        int depth = 0;
        while (true) {
            skipSpace();
            if (i_ >= s_.size())
                break;
            const QChar c = s_[i_];
            const QChar next = i_ + 1 < s_.size() ? s_[i_ + 1] : QChar();
            if (c == u'"' || c == u'\'') {
                auto text = quoted(c);
                if (!text)
                    return fail(error, QStringLiteral("The filter has an unterminated text in quotes."));
                tokens.append(token(TokenKind::Text, *text, QVariant(*text)));
            } else if (c == u'[') {
                const qsizetype close = s_.indexOf(u']', i_ + 1);
                if (close < 0)
                    return fail(error,
                                QStringLiteral("The filter has a name in [ ] brackets that is not closed."));
                const QString name = s_.mid(i_ + 1, close - i_ - 1);
                if (name.trimmed().isEmpty())
                    return fail(error, QStringLiteral("The filter has an empty name in [ ] brackets."));
                tokens.append(token(TokenKind::Name, name, {}, true));
                i_ = close + 1;
            } else if (c == u'#') {
                const qsizetype close = s_.indexOf(u'#', i_ + 1);
                if (close < 0)
                    return fail(error,
                                QStringLiteral("The filter has a date in # signs that is not closed."));
                const QString raw = s_.mid(i_ + 1, close - i_ - 1);
                const auto date = parseJetDate(raw);
                if (!date)
                    return fail(error,
                                QStringLiteral("The filter has a date that cannot be read: #%1#.").arg(raw));
                tokens.append(token(TokenKind::Date, raw, *date));
                i_ = close + 1;
            } else if (c.isDigit() || (c == u'.' && next.isDigit() && !follows(tokens, TokenKind::Name))) {
                auto token = number(error);
                if (!token)
                    return std::nullopt;
                tokens.append(*token);
            } else if (isNameStart(c)) {
                const qsizetype start = i_;
                while (i_ < s_.size() && isNamePart(s_[i_]))
                    ++i_;
                const QString word = s_.mid(start, i_ - start);
                if (isCommandWord(word.toUpper()))
                    return fail(error, QStringLiteral("The filter contains the command %1, which is not "
                                                      "allowed in a filter.")
                                           .arg(word.toUpper()));
                tokens.append(token(TokenKind::Name, word, {}, false));
            } else if ((c == u'-' && next == u'-') || (c == u'/' && next == u'*')) {
                return fail(error, QStringLiteral("The filter contains a comment (%1), which is not allowed.")
                                       .arg(c == u'-' ? QStringLiteral("--") : QStringLiteral("/*")));
            } else if (c == u';') {
                ++i_;
                skipSpace();
                if (i_ < s_.size())
                    return fail(error, QStringLiteral("The filter contains more than one statement."));
                break;
            } else if (c == u'<' || c == u'>' || c == u'=') {
                QString op(c);
                if ((c == u'<' && (next == u'>' || next == u'=')) || (c == u'>' && next == u'='))
                    op += next;
                i_ += op.size();
                tokens.append(token(TokenKind::Operator, op));
            } else if (c == u'(') {
                if (++depth > maxNesting)
                    return fail(error,
                                QStringLiteral("The filter has too many parentheses inside each other."));
                ++i_;
                tokens.append(token(TokenKind::LParen, QStringLiteral("(")));
            } else if (c == u')') {
                if (--depth < 0)
                    return fail(error, QStringLiteral("The filter has a closing parenthesis without a "
                                                      "matching opening one."));
                ++i_;
                tokens.append(token(TokenKind::RParen, QStringLiteral(")")));
            } else if (c == u',') {
                ++i_;
                tokens.append(token(TokenKind::Comma, QStringLiteral(",")));
            } else if (c == u'.' || c == u'!') {
                ++i_;
                tokens.append(token(TokenKind::Dot, QString(c)));
            } else if (c == u'-' || c == u'+') {
                ++i_;
                tokens.append(token(TokenKind::Sign, QString(c)));
            } else {
                return fail(
                    error, QStringLiteral("The filter has the character %1 where it is not allowed.").arg(c));
            }
        }
        if (depth > 0)
            return fail(error, QStringLiteral("The filter has more opening than closing parentheses."));
        tokens.append(token(TokenKind::End, QString()));
        return tokens;
    }

private:
    static std::nullopt_t fail(QString* error, const QString& message) {
        if (error)
            *error = message;
        return std::nullopt;
    }
    static bool follows(const QList<Token>& tokens, TokenKind kind) {
        return !tokens.isEmpty() && tokens.last().kind == kind;
    }

    void skipSpace() {
        while (i_ < s_.size() && s_[i_].isSpace())
            ++i_;
    }

    // A quoted text with the quote doubled inside; nullopt when it is not closed.
    std::optional<QString> quoted(QChar quote) {
        QString text;
        qsizetype j = i_ + 1;
        while (j < s_.size()) {
            if (s_[j] == quote) {
                if (j + 1 < s_.size() && s_[j + 1] == quote) {
                    text += quote;
                    j += 2;
                    continue;
                }
                i_ = j + 1;
                return text;
            }
            text += s_[j++];
        }
        return std::nullopt;
    }

    std::optional<Token> number(QString* error) {
        static const QRegularExpression form(QStringLiteral(R"(\d*(\.\d*)?([eE][+-]?\d+)?)"));
        const auto m = form.match(s_, i_, QRegularExpression::NormalMatch,
                                  QRegularExpression::AnchorAtOffsetMatchOption);
        const QString text = m.captured(0);
        i_ += text.size();
        if (i_ < s_.size() && isNamePart(s_[i_]))
            return fail(
                error, QStringLiteral("The filter has a number that cannot be read: %1.").arg(text + s_[i_]));
        bool ok = false;
        if (m.captured(1).isEmpty() && m.captured(2).isEmpty()) {
            const qint64 whole = text.toLongLong(&ok);
            if (ok)
                return token(TokenKind::Number, text, QVariant(whole));
        }
        const double real = text.toDouble(&ok);
        if (!ok)
            return fail(error, QStringLiteral("The filter has a number that cannot be read: %1.").arg(text));
        return token(TokenKind::Number, text, QVariant(real));
    }

    const QString& s_;
    qsizetype i_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Parser: emits SQLite SQL while it reads, so every piece carries its own values.

struct Fragment {
    QString sql;
    QVariantList values;
    bool condition = false;      // yields true/false: a comparison, Like, Is Null, isnull(), AND/OR/NOT
    bool term = false;           // a name, a placeholder, a call or a parenthesised group
    bool nullWord = false;       // the word NULL
    std::optional<bool> truth;   // the words True and False
    std::optional<QString> text; // a text literal (a Like pattern is checked when it is one)
};

struct ParseError {
    QString message;
};

class Parser {
public:
    explicit Parser(const QList<Token>& tokens) : t_(tokens) {}

    TranslatedClause clause() {
        if (isWord(peek(), "WHERE"))
            ++p_;
        if (peek().kind == TokenKind::End)
            throw ParseError{QStringLiteral("The filter has no condition.")};
        Fragment f = parseOr();
        if (peek().kind != TokenKind::End)
            throw ParseError{QStringLiteral("The filter has unexpected text after the condition: %1.")
                                 .arg(describe(peek()))};
        // Keep the result one expression whatever the caller appends to it.
        if (!f.term)
            f.sql = u'(' + f.sql + u')';
        return {f.sql, f.values};
    }

private:
    static bool isWord(const Token& t, const char* word) {
        return t.kind == TokenKind::Name && !t.bracketed &&
               t.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
    }
    static bool isReserved(const Token& t) {
        for (const char* w : {"AND", "OR", "NOT", "LIKE", "IS", "BETWEEN", "IN", "WHERE"})
            if (isWord(t, w))
                return true;
        return false;
    }
    static QString describe(const Token& t) {
        switch (t.kind) {
        case TokenKind::End:
            return QStringLiteral("the end");
        case TokenKind::Text:
            return u'"' + t.text + u'"';
        case TokenKind::Date:
            return u'#' + t.text + u'#';
        case TokenKind::Name:
            return t.bracketed ? u'[' + t.text + u']' : t.text;
        default:
            return t.text;
        }
    }

    const Token& peek(qsizetype ahead = 0) const { return t_[qMin(p_ + ahead, t_.size() - 1)]; }
    const Token& take() { return t_[p_ < t_.size() - 1 ? p_++ : p_]; }
    void expect(TokenKind kind, const QString& what) {
        if (peek().kind != kind)
            throw ParseError{
                QStringLiteral("The filter has %1 where %2 is expected.").arg(describe(peek()), what)};
        ++p_;
    }

    Fragment parseOr() {
        Fragment f = parseAnd();
        while (isWord(peek(), "OR")) {
            ++p_;
            f = join(f, QStringLiteral(" OR "), parseAnd());
        }
        return f;
    }

    Fragment parseAnd() {
        Fragment f = parseNot();
        while (isWord(peek(), "AND")) {
            ++p_;
            f = join(f, QStringLiteral(" AND "), parseNot());
        }
        return f;
    }

    Fragment parseNot() {
        if (!isWord(peek(), "NOT"))
            return parsePredicate();
        ++p_;
        if (++nots_ > maxNesting)
            throw ParseError{QStringLiteral("The filter has too many NOT in a row.")};
        const Fragment inner = parseNot();
        --nots_;
        Fragment f;
        f.sql = QStringLiteral("NOT ") + inner.sql;
        f.values = inner.values;
        f.condition = true;
        return f;
    }

    static Fragment join(const Fragment& a, const QString& op, const Fragment& b) {
        Fragment f;
        f.sql = a.sql + op + b.sql;
        f.values = a.values + b.values;
        f.condition = true;
        return f;
    }

    static QString grouped(const Fragment& f) { return f.term ? f.sql : u'(' + f.sql + u')'; }
    static QString collated(const Fragment& f) {
        return grouped(f) + QStringLiteral(" COLLATE ") + QLatin1String(dialectCollation);
    }

    Fragment parsePredicate() {
        Fragment left = parseOperand();
        const Token& t = peek();
        if (t.kind == TokenKind::Operator) {
            const QString op = take().text;
            return comparison(left, op, parseOperand());
        }
        if (isWord(t, "IS")) {
            ++p_;
            const bool negated = isWord(peek(), "NOT");
            if (negated)
                ++p_;
            if (!isWord(peek(), "NULL"))
                throw ParseError{QStringLiteral("The filter has %1 where NULL is expected after Is.")
                                     .arg(describe(peek()))};
            ++p_;
            return condition(grouped(left) +
                                 (negated ? QStringLiteral(" IS NOT NULL") : QStringLiteral(" IS NULL")),
                             left.values);
        }
        bool negated = false;
        if (isWord(t, "NOT") &&
            (isWord(peek(1), "LIKE") || isWord(peek(1), "BETWEEN") || isWord(peek(1), "IN"))) {
            negated = true;
            ++p_;
        }
        const QString no = negated ? QStringLiteral("NOT ") : QString();
        if (isWord(peek(), "LIKE")) {
            ++p_;
            const Fragment pattern = parseOperand();
            if (pattern.text) {
                QString error;
                if (!likePatternToRegex(*pattern.text, &error).isValid())
                    throw ParseError{error};
            }
            return condition(no + QStringLiteral("jet_like(") + left.sql + QStringLiteral(", ") +
                                 pattern.sql + u')',
                             left.values + pattern.values);
        }
        if (isWord(peek(), "BETWEEN")) {
            ++p_;
            const Fragment low = parseOperand();
            if (!isWord(peek(), "AND"))
                throw ParseError{QStringLiteral("The filter has %1 where And is expected after Between.")
                                     .arg(describe(peek()))};
            ++p_;
            const Fragment high = parseOperand();
            return condition(collated(left) + u' ' + no + QStringLiteral("BETWEEN ") + low.sql +
                                 QStringLiteral(" AND ") + high.sql,
                             left.values + low.values + high.values);
        }
        if (isWord(peek(), "IN")) {
            ++p_;
            expect(TokenKind::LParen, QStringLiteral("an opening parenthesis after In"));
            QStringList items;
            QVariantList values = left.values;
            do {
                const Fragment item = parseOperand();
                items.append(item.sql);
                values += item.values;
            } while (peek().kind == TokenKind::Comma && (++p_, true));
            expect(TokenKind::RParen, QStringLiteral("a comma or a closing parenthesis"));
            return condition(collated(left) + u' ' + no + QStringLiteral("IN (") +
                                 items.join(QStringLiteral(", ")) + u')',
                             values);
        }
        return left;
    }

    static Fragment condition(const QString& sql, const QVariantList& values) {
        Fragment f;
        f.sql = sql;
        f.values = values;
        f.condition = true;
        return f;
    }

    static Fragment comparison(const Fragment& left, QString op, const Fragment& right) {
        const bool equality = op == u"=" || op == u"<>";
        // "= NULL" asks whether the column is empty: null or the empty text.
        if (equality && (left.nullWord != right.nullWord)) {
            const Fragment& x = left.nullWord ? right : left;
            const QString g = grouped(x);
            Fragment f = condition(
                op == u"="
                    ? QString(u'(' + g + QStringLiteral(" IS NULL OR ") + g + QStringLiteral(" = '')"))
                    : QString(u'(' + g + QStringLiteral(" IS NOT NULL AND ") + g + QStringLiteral(" <> '')")),
                x.values + x.values);
            f.term = true;
            return f;
        }
        // A condition compared with True or False: the engine's True is -1, SQLite's is 1.
        if (equality && ((left.condition && right.truth) || (right.condition && left.truth))) {
            const Fragment& c = left.condition ? left : right;
            const bool wanted = *(left.condition ? right.truth : left.truth) == (op == u"=");
            if (wanted) {
                Fragment f = condition(grouped(c), c.values);
                f.term = true;
                return f;
            }
            return condition(QStringLiteral("NOT ") + grouped(c), c.values);
        }
        return condition(collated(left) + u' ' + op + u' ' + grouped(right), left.values + right.values);
    }

    static Fragment placeholder(const QVariant& value) {
        Fragment f;
        f.sql = QStringLiteral("?");
        f.values = {value};
        f.term = true;
        return f;
    }

    Fragment parseOperand() {
        const Token& t = take();
        switch (t.kind) {
        case TokenKind::Text: {
            Fragment f = placeholder(t.value);
            f.text = t.text;
            return f;
        }
        case TokenKind::Number:
        case TokenKind::Date:
            return placeholder(t.value);
        case TokenKind::Sign: {
            if (peek().kind != TokenKind::Number)
                throw ParseError{
                    QStringLiteral("The filter has a sign %1 that is not followed by a number.").arg(t.text)};
            const QVariant v = take().value;
            if (t.text == u"+")
                return placeholder(v);
            return placeholder(v.typeId() == QMetaType::LongLong ? QVariant(-v.toLongLong())
                                                                 : QVariant(-v.toDouble()));
        }
        case TokenKind::LParen: {
            const Fragment inner = parseOr();
            expect(TokenKind::RParen, QStringLiteral("a closing parenthesis"));
            Fragment f = inner;
            f.sql = u'(' + inner.sql + u')';
            f.term = true;
            return f;
        }
        case TokenKind::Name:
            return parseName(t);
        case TokenKind::End:
            throw ParseError{QStringLiteral("The filter ends where a value or a column is expected.")};
        default:
            break;
        }
        throw ParseError{
            QStringLiteral("The filter has %1 where a value or a column is expected.").arg(describe(t))};
    }

    Fragment parseName(const Token& t) {
        if (!t.bracketed) {
            if (isReserved(t))
                throw ParseError{
                    QStringLiteral("The filter has %1 where a value or a column is expected.").arg(t.text)};
            if (isWord(t, "NULL")) {
                Fragment f;
                f.sql = QStringLiteral("NULL");
                f.term = true;
                f.nullWord = true;
                return f;
            }
            if (isWord(t, "TRUE") || isWord(t, "FALSE")) {
                const bool truth = isWord(t, "TRUE");
                Fragment f = placeholder(QVariant(qint64(truth ? -1 : 0)));
                f.truth = truth;
                return f;
            }
            if (peek().kind == TokenKind::LParen)
                return parseCall(t.text);
        }
        // [Table].[Column]: the caller's statement reads one table, so the qualifier is dropped.
        QString column = t.text;
        int parts = 1;
        while (peek().kind == TokenKind::Dot && peek(1).kind == TokenKind::Name) {
            ++p_;
            column = take().text;
            if (++parts > 2)
                throw ParseError{
                    QStringLiteral("The filter names a column with too many parts: %1.").arg(column)};
        }
        Fragment f;
        f.sql = quoteName(column);
        f.term = true;
        return f;
    }

    Fragment parseCall(const QString& name) {
        ++p_; // (
        QList<Fragment> args;
        if (peek().kind != TokenKind::RParen) {
            do {
                args.append(parseOperand());
            } while (peek().kind == TokenKind::Comma && (++p_, true));
        }
        expect(TokenKind::RParen, QStringLiteral("a comma or a closing parenthesis"));

        struct Known {
            const char* jet;
            const char* sqlite;
            int minArgs, maxArgs;
        };
        static const Known known[] = {
            {"isnull", nullptr, 1, 1}, {"len", "length", 1, 1},  {"ucase", "upper", 1, 1},
            {"lcase", "lower", 1, 1},  {"trim", "trim", 1, 1},   {"ltrim", "ltrim", 1, 1},
            {"rtrim", "rtrim", 1, 1},  {"left", "substr", 2, 2}, {"mid", "substr", 2, 3}};
        for (const Known& k : known) {
            if (name.compare(QLatin1String(k.jet), Qt::CaseInsensitive) != 0)
                continue;
            if (args.size() < k.minArgs || args.size() > k.maxArgs)
                throw ParseError{QStringLiteral("The function %1 is given %2 value(s), which is not what it "
                                                "expects.")
                                     .arg(name)
                                     .arg(args.size())};
            QVariantList values;
            QStringList sqlArgs;
            for (const Fragment& a : args) {
                values += a.values;
                sqlArgs.append(a.sql);
            }
            if (!k.sqlite) { // isnull(x): true when x is null
                Fragment f = condition(u'(' + grouped(args[0]) + QStringLiteral(" IS NULL)"), values);
                f.term = true;
                return f;
            }
            if (name.compare(QLatin1String("left"), Qt::CaseInsensitive) == 0)
                sqlArgs.insert(1, QStringLiteral("1"));
            Fragment f;
            f.sql = QLatin1String(k.sqlite) + u'(' + sqlArgs.join(QStringLiteral(", ")) + u')';
            f.values = values;
            f.term = true;
            return f;
        }
        throw ParseError{QStringLiteral("The filter uses the function %1, which is not known.").arg(name)};
    }

    const QList<Token>& t_;
    qsizetype p_ = 0;
    int nots_ = 0;
};

// ---------------------------------------------------------------------------------------------
// SQLite functions

QRegularExpression cachedLikeRegex(const QString& pattern) {
    thread_local QHash<QString, QRegularExpression> cache;
    auto it = cache.constFind(pattern);
    if (it != cache.constEnd())
        return *it;
    if (cache.size() >= 256)
        cache.clear();
    const QRegularExpression re = likePatternToRegex(pattern);
    cache.insert(pattern, re);
    return re;
}

QString textArgument(sqlite3_value* value) {
    const auto* data = static_cast<const char16_t*>(sqlite3_value_text16(value));
    const int bytes = sqlite3_value_bytes16(value);
    return QString::fromUtf16(data, bytes / 2);
}

void jetLikeFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    // Null on either side gives null, as the engine's Like does (so Not Like skips nulls too).
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    // The compiled pattern stays with the statement while the pattern argument is constant.
    const auto* re = static_cast<const QRegularExpression*>(sqlite3_get_auxdata(ctx, 1));
    QRegularExpression local;
    if (!re) {
        local = cachedLikeRegex(textArgument(argv[1]));
        sqlite3_set_auxdata(ctx, 1, new QRegularExpression(local),
                            [](void* p) { delete static_cast<QRegularExpression*>(p); });
        re = &local;
    }
    if (!re->isValid()) {
        sqlite3_result_error(ctx, "Invalid pattern string in Like", -1);
        return;
    }
    sqlite3_result_int(ctx, re->match(textArgument(argv[0])).hasMatch() ? 1 : 0);
}

int jetNocaseCompare(void*, int bytesA, const void* a, int bytesB, const void* b) {
    const QStringView left(static_cast<const char16_t*>(a), bytesA / 2);
    const QStringView right(static_cast<const char16_t*>(b), bytesB / 2);
    const int result = left.compare(right, Qt::CaseInsensitive);
    return result < 0 ? -1 : result > 0 ? 1 : 0;
}

// Connections that hold the functions; an entry leaves when its connection closes.
std::mutex registeredMutex;
std::unordered_set<sqlite3*> registeredHandles;

void forgetHandle(void* handle) {
    std::lock_guard lock(registeredMutex);
    registeredHandles.erase(static_cast<sqlite3*>(handle));
}

// ---------------------------------------------------------------------------------------------
// Authorizer for user queries

bool isHarmlessFunction(const char* name) {
    static const QSet<QByteArray> allowed = {
        "jet_like", "like",     "glob",      "length",    "lower",  "upper",        "trim",
        "ltrim",    "rtrim",    "substr",    "substring", "instr",  "replace",      "coalesce",
        "ifnull",   "nullif",   "iif",       "abs",       "round",  "typeof",       "count",
        "min",      "max",      "sum",       "total",     "avg",    "group_concat", "date",
        "time",     "datetime", "julianday", "strftime",  "printf", "format"};
    return name && allowed.contains(QByteArray(name).toLower());
}

int authorizeRead(void*, int action, const char*, const char* arg2, const char*, const char*) {
    switch (action) {
    case SQLITE_SELECT:
    case SQLITE_READ:
        return SQLITE_OK;
    case SQLITE_FUNCTION:
        return isHarmlessFunction(arg2) ? SQLITE_OK : SQLITE_DENY;
    default:
        return SQLITE_DENY;
    }
}

class AuthorizerGuard {
public:
    explicit AuthorizerGuard(sqlite3* handle) : handle_(handle) {
        sqlite3_set_authorizer(handle_, authorizeRead, nullptr);
    }
    ~AuthorizerGuard() { sqlite3_set_authorizer(handle_, nullptr, nullptr); }
    AuthorizerGuard(const AuthorizerGuard&) = delete;
    AuthorizerGuard& operator=(const AuthorizerGuard&) = delete;

private:
    sqlite3* handle_;
};

void setError(DbError* error, int number, const QString& text) {
    if (error)
        *error = DbError{number, text};
}

} // namespace

std::optional<TranslatedClause> translateWhereClause(const QString& clause, QString* error) {
    const auto tokens = Lexer(clause).run(error);
    if (!tokens)
        return std::nullopt;
    try {
        return Parser(*tokens).clause();
    } catch (const ParseError& e) {
        if (error)
            *error = e.message;
        return std::nullopt;
    }
}

QRegularExpression likePatternToRegex(const QString& pattern, QString* error) {
    const QList<uint> cps = pattern.toUcs4();
    const auto hex = [](uint cp) {
        return QStringLiteral("\\x{%1}").arg(uint(cp), 0, 16);
    };
    QString re = QStringLiteral("\\A");
    QList<char32_t> literal;
    const auto flush = [&] {
        if (!literal.isEmpty())
            re += QRegularExpression::escape(QString::fromUcs4(literal.constData(), literal.size()));
        literal.clear();
    };
    const auto invalid = [&](const QString& why) {
        if (error)
            *error = why;
        return QRegularExpression(QStringLiteral("("));
    };
    for (qsizetype i = 0; i < cps.size(); ++i) {
        const uint c = cps[i];
        if (c != '*' && c != '?' && c != '#' && c != '[') {
            literal.append(char32_t(c));
            continue;
        }
        flush();
        if (c == '*') {
            re += QStringLiteral(".*");
        } else if (c == '?') {
            re += u'.';
        } else if (c == '#') {
            re += QStringLiteral("[0-9]");
        } else {
            const qsizetype close = cps.indexOf(uint(']'), i + 1);
            if (close < 0)
                return invalid(
                    QStringLiteral("The Like pattern %1 has a [ that is not closed.").arg(pattern));
            QList<uint> items = cps.mid(i + 1, close - i - 1);
            i = close;
            if (items.isEmpty())
                continue; // [] stands for no character at all
            QString set;
            if (items.size() > 1 && items.first() == '!') {
                set += u'^';
                items.removeFirst();
            }
            for (qsizetype k = 0; k < items.size(); ++k) {
                if (k + 2 < items.size() && items[k + 1] == '-') {
                    if (items[k] > items[k + 2])
                        return invalid(QStringLiteral("The Like pattern %1 has a range that runs backwards.")
                                           .arg(pattern));
                    set += hex(items[k]) + u'-' + hex(items[k + 2]);
                    k += 2;
                } else {
                    set += hex(items[k]);
                }
            }
            re += u'[' + set + u']';
        }
    }
    flush();
    re += QStringLiteral("\\z");
    return QRegularExpression(re, QRegularExpression::CaseInsensitiveOption |
                                      QRegularExpression::DotMatchesEverythingOption);
}

bool matchesLike(const QString& value, const QString& pattern) {
    const QRegularExpression re = cachedLikeRegex(pattern);
    return re.isValid() && re.match(value).hasMatch();
}

void registerDialectFunctions(sqlite3* handle) {
    if (!handle)
        return;
    {
        std::lock_guard lock(registeredMutex);
        if (registeredHandles.count(handle))
            return;
    }
    sqlite3_create_collation_v2(handle, dialectCollation, SQLITE_UTF16_ALIGNED, nullptr, jetNocaseCompare,
                                nullptr);
    const int rc = sqlite3_create_function_v2(handle, "jet_like", 2,
                                              SQLITE_UTF16 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, handle,
                                              jetLikeFunction, nullptr, nullptr, forgetHandle);
    if (rc == SQLITE_OK) {
        std::lock_guard lock(registeredMutex);
        registeredHandles.insert(handle);
    }
}

Statement prepareUserQuery(Database& db, const QString& selectSql, DbError* error) {
    sqlite3* handle = db.handle();
    if (!handle) {
        setError(error, SQLITE_MISUSE, QStringLiteral("The database is not open."));
        return {};
    }
    registerDialectFunctions(handle);
    AuthorizerGuard guard(handle);

    const QString refused = QStringLiteral("The query was refused because it does more than read rows.");
    DbError prepareError;
    Statement statement = db.prepare(selectSql, &prepareError); // refuses a second statement itself
    if (!statement.isValid()) {
        // A denied function or table-valued pragma comes back as a plain error saying so.
        const bool denied = (prepareError.number & 0xff) == SQLITE_AUTH ||
                            prepareError.text.startsWith(QLatin1String("not authorized"));
        setError(error, prepareError.number ? prepareError.number : SQLITE_ERROR,
                 denied ? refused : prepareError.text);
        return {};
    }
    if (!statement.readOnly()) {
        setError(error, SQLITE_AUTH, refused);
        return {};
    }
    if (error)
        *error = {};
    return statement;
}

std::optional<Statement> selectWhere(Database& db, const QString& table, const QString& columns,
                                     const QString& userClause, const QString& orderBy, DbError* error) {
    QString sql = QStringLiteral("SELECT ") + columns + QStringLiteral(" FROM ") + quoteName(table);
    QVariantList values;
    if (!userClause.trimmed().isEmpty()) {
        QString message;
        const auto translated = translateWhereClause(userClause, &message);
        if (!translated) {
            setError(error, SQLITE_ERROR, message);
            return std::nullopt;
        }
        sql += QStringLiteral(" WHERE ") + translated->sql;
        values = translated->values;
    }
    if (!orderBy.trimmed().isEmpty())
        sql += QStringLiteral(" ORDER BY ") + orderBy;
    Statement statement = prepareUserQuery(db, sql, error);
    if (!statement.isValid())
        return std::nullopt;
    statement.bindAll(values);
    return statement;
}

} // namespace db
