#include "browser/form_value_store.h"

namespace qelvu {

void TFormValueStore::Remember(const QString& field, const QString& value) {
  if (value.isEmpty() || value.size() > kMaxValueLength || field.size() > kMaxValueLength) return;
  auto found = index_.find(field);
  if (found == index_.end()) {
    fields_.push_front({field, {}});
    found = index_.insert(field, fields_.begin());
    bytes_ += SizeOf(field);
  } else {
    fields_.splice(fields_.begin(), fields_, *found);
  }
  QStringList& values = fields_.front().values;
  if (values.removeOne(value)) bytes_ -= SizeOf(value);
  values.prepend(value);
  bytes_ += SizeOf(value);
  while (values.size() > kMaxValuesPerField) {
    bytes_ -= SizeOf(values.last());
    values.removeLast();
  }
  // The field just used stays, whatever else has to go.
  while ((fields_.size() > kMaxFields || bytes_ > kMaxBytes) && fields_.size() > 1) {
    Forget(std::prev(fields_.end()));
  }
}

QStringList TFormValueStore::Values(const QString& field) const {
  const auto found = index_.constFind(field);
  return found == index_.constEnd() ? QStringList() : (*found)->values;
}

void TFormValueStore::Forget(std::list<TField>::iterator field) {
  bytes_ -= SizeOf(field->name);
  for (const QString& value : field->values) bytes_ -= SizeOf(value);
  index_.remove(field->name);
  fields_.erase(field);
}

}  // namespace qelvu
