// The schema files, compiled in (generated from schema/*.sql at configure
// time).
#pragma once

namespace tovanel {
extern const char* const SqliteSchemaSql;
extern const char* const PostgresSchemaSql;
}  // namespace tovanel
