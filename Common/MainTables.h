#pragma once
// The tables of main.db that console and server share (Common/schema/main.sql, compiled in),
// for the checks that a file is a main.db.
extern const char kMainTablesSchema[];
