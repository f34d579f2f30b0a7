// The table of every message the plug-in prints on the host's command line, each in Simplified
// Chinese, Traditional Chinese and English.
//
// Print a message with acutPrintf(orvikText(kMsgSomething), args...): the language is chosen
// afresh from the shell's preference (plugin/message_language.h). The three texts of a message
// carry the same printf placeholders in the same order, in the host's acutPrintf dialect: %s is a
// wide string, %hs a narrow (UTF-8) one, %d an int, %.1f a double. Callers convert UTF-8 values
// to wide text before passing them to %s.
//
// To add a message, add its name to ORVIK_MESSAGE_NAMES and its texts in messages.cpp; the list
// keeps the declarations, the table and AllOrvikMessages() in step.
#pragma once

#include <utility>
#include <vector>

#include "host/acad.h"

struct OrvikMessage {
  const ACHAR* zhCN;
  const ACHAR* zhTW;
  const ACHAR* en;
};

#define ORVIK_MESSAGE_NAMES(X)                                                                 \
  /* deferred completion of a LISP request */                                                  \
  X(kMsgLispCompleted)                                                                         \
  /* load */                                                                                   \
  X(kMsgCommandNotRegistered)                                                                  \
  /* space console functions */                                                                \
  X(kMsgSpacesHeading)                                                                         \
  X(kMsgSpacesModelLine)                                                                       \
  X(kMsgSpacesPaperLine)                                                                       \
  X(kMsgSpacesNone)                                                                            \
  X(kMsgSpacesCurrentLine)                                                                     \
  X(kMsgSpacesClosingRule)                                                                     \
  X(kMsgRandomSwitched)                                                                        \
  X(kMsgCurrentCtab)                                                                           \
  X(kMsgNoPaperSwitchedToModel)                                                                \
  X(kMsgCurrentSpace)                                                                          \
  X(kMsgCurrentSpaceUnreadable)                                                                \
  /* missing-font repair */                                                                    \
  X(kMsgFontsAllAvailable)                                                                     \
  X(kMsgFontsRepaired)                                                                         \
  /* block attribute queries and their developer commands */                                   \
  X(kMsgBlockWindowSummary)                                                                    \
  X(kMsgBlockAllSummary)                                                                       \
  X(kMsgTestBlocksNone)                                                                        \
  X(kMsgTestBlockName)                                                                         \
  X(kMsgTestBlockAttribute)                                                                    \
  X(kMsgTestBlockAttributeCount)                                                               \
  X(kMsgTestBlocksDone)                                                                        \
  X(kMsgTestFrameInserted)                                                                     \
  /* native frame extraction */                                                                \
  X(kMsgExtractStart)                                                                          \
  X(kMsgExtractCtabFailed)                                                                     \
  X(kMsgExtractLayoutNameEmpty)                                                                \
  X(kMsgExtractNoEntities)                                                                     \
  X(kMsgExtractCompleted)                                                                      \
  X(kMsgExtractNoFrames)                                                                       \
  /* plot resource console functions */                                                        \
  X(kMsgDevicesHeader)                                                                         \
  X(kMsgStylesHeader)                                                                          \
  X(kMsgLayoutsHeader)                                                                         \
  X(kMsgPaperSizesHeader)                                                                      \
  X(kMsgCatalogueLine)                                                                         \
  X(kMsgPaperSizeLine)                                                                         \
  X(kMsgCatalogueClosingRule)                                                                  \
  X(kMsgPrinterPrompt)                                                                         \
  X(kMsgPrinterNotFound)                                                                       \
  X(kMsgDirectoryPrompt)                                                                       \
  X(kMsgDirectoryCancelled)                                                                    \
  X(kMsgDirectoryState)                                                                        \
  X(kMsgDirectoryExists)                                                                       \
  X(kMsgDirectoryMissing)                                                                      \
  /* window plot and its test command */                                                       \
  X(kMsgSwitchLayoutWarning)                                                                   \
  X(kMsgTestPlotRule)                                                                          \
  X(kMsgTestPlotTitle)                                                                         \
  X(kMsgTestPlotCompleted)                                                                     \
  X(kMsgErrorLine)                                                                             \
  /* layout plot console functions */                                                          \
  X(kMsgLayoutPlotCompleted)                                                                   \
  X(kMsgLayoutPlotFailed)                                                                      \
  X(kMsgLayoutCustomPlotCompleted)                                                             \
  X(kMsgLayoutCustomPlotFailed)

#define ORVIK_DECLARE_MESSAGE(name) extern const OrvikMessage name;
ORVIK_MESSAGE_NAMES(ORVIK_DECLARE_MESSAGE)
#undef ORVIK_DECLARE_MESSAGE

// The message's text in the shell's current language.
const ACHAR* orvikText(const OrvikMessage& message);

// Every message of the table with its name, in table order.
std::vector<std::pair<const char*, const OrvikMessage*>> AllOrvikMessages();
