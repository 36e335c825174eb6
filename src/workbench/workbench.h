#pragma once

// The workbench: calculated channels, filters and tables of any channels over
// one log or many. Standard C++ with muparser and nlohmann-json; no Qt.
//
// API overview
//   Workspace (workspace.h)      channels, tables and the charts layer's raw
//                                JSON; parseWorkspace(text) reads and checks
//                                it, workspaceToJson writes it back byte for
//                                byte as it would read.
//   Expressions (expression.h)   compileExpression(text, NameScope) checks an
//                                expression against a log's names;
//                                evaluateExpression runs it in bulk over
//                                whole columns (muparser). Errors carry the
//                                user's column.
//   Program (program.h)          compileWorkspace(workspace, paramNames): all
//                                channels and table fields compiled against
//                                one log, errors kept per field.
//   LogSession (log_session.h)   one log's ColumnCache plus the values of
//                                channels and expressions, cached by what
//                                they compute; keepOnly(program) after edits.
//   Tables (table.h)             binTable per log -> accumulateTable over the
//                                logs in order -> TableResult (per-cell count,
//                                sum, min, max, median, stddev, and on request
//                                the takes behind each cell); statisticValue
//                                and cellText give what a cell shows;
//                                tablesText the --tables output.
//   Batch (batch.h)              computeTables(workspace, log paths): read
//                                and compute many logs on every core.
//   Differences                  differenceTable(table, over A, over B): per
//   (table_difference.h)         cell B - A and its percent of |A| where
//                                both sides have a value; differencesText
//                                the --compare output.
//
// A window that edits tables live keeps one LogSession per open log and
// calls computeShownTable (table_session.h) over the sessions of the logs on
// show after each edit: it compiles the workspace against each log, bins
// through LogSession::binned (keep = true), folds the logs in order with
// accumulateTable, then keepOnly; unchanged channels, fields and binned
// takes come from the caches. computeShownDifference does the same for two
// sets of logs.

#include "workbench/batch.h"
#include "workbench/expression.h"
#include "workbench/format.h"
#include "workbench/log_session.h"
#include "workbench/program.h"
#include "workbench/table.h"
#include "workbench/table_difference.h"
#include "workbench/workspace.h"
