#pragma once

// A member as cards print it: field name -> value (the stored value and the
// text it prints as), plus the photo's stored bytes. Cards render from
// records, never from an open query.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVariant>

#include <functional>
#include <vector>

namespace tessary {

struct MemberRecord
{
    struct Value
    {
        QString text;
        QVariant value;
    };
    // Field names compare without regard to letter case.
    QHash<QString, Value> fields;
    QByteArray photo; // empty, or one stored picture

    void set(const QString &field, const QString &text, const QVariant &value = QVariant())
    {
        fields.insert(field.toLower(), Value{text, value.isValid() ? value : QVariant(text)});
    }
    bool has(const QString &field) const { return fields.contains(field.toLower()); }
    QString text(const QString &field) const { return fields.value(field.toLower()).text; }
    QVariant value(const QString &field) const { return fields.value(field.toLower()).value; }
};

// The members of a card run, in print order. A record is fetched when it is
// laid out or painted; `withPhoto` false leaves its photo out (laying pages
// out needs no pictures).
class MemberRecords
{
public:
    virtual ~MemberRecords() = default;
    virtual int size() const = 0;
    virtual MemberRecord at(int index, bool withPhoto) const = 0;
};

// Records held in memory.
class RecordList : public MemberRecords
{
public:
    RecordList() = default;
    explicit RecordList(std::vector<MemberRecord> records) : m_records(std::move(records)) {}
    int size() const override { return int(m_records.size()); }
    MemberRecord at(int index, bool withPhoto) const override
    {
        MemberRecord r = m_records.at(size_t(index));
        if (!withPhoto)
            r.photo.clear();
        return r;
    }
    void append(MemberRecord record) { m_records.push_back(std::move(record)); }

private:
    std::vector<MemberRecord> m_records;
};

} // namespace tessary
