// TFormValueStore: the values typed into form fields during this run, offered again for
// auto-completion. Bounded, because the pages decide what they submit: a value longer than
// kMaxValueLength is not kept, a field keeps its kMaxValuesPerField most recent values, and
// when the store holds more than kMaxFields fields or kMaxBytes bytes the field used least
// recently goes first. Plain values (Qt Core only); one thread at a time.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <list>

namespace qelvu {

class TFormValueStore {
 public:
  static constexpr qsizetype kMaxValuesPerField = 20;
  static constexpr qsizetype kMaxValueLength = 1024;
  static constexpr size_t kMaxFields = 500;
  static constexpr size_t kMaxBytes = 256 * 1024;

  // Puts `value` first among the values of `field`.
  void Remember(const QString& field, const QString& value);
  // Most recent first; empty for an unknown field.
  QStringList Values(const QString& field) const;

  size_t Fields() const { return fields_.size(); }
  // Text bytes held for names and values (UTF-16).
  size_t Bytes() const { return bytes_; }

 private:
  struct TField {
    QString name;
    QStringList values;
  };
  static size_t SizeOf(const QString& text) { return size_t(text.size()) * sizeof(QChar); }
  void Forget(std::list<TField>::iterator field);

  // Most recently used first.
  std::list<TField> fields_;
  QHash<QString, std::list<TField>::iterator> index_;
  size_t bytes_ = 0;
};

}  // namespace qelvu
