#pragma once
// Numbers of the filter, sender and plug-in pages of the options dialog, their controls and the
// dialogs of the sender import. Widgets carry them as object names ("id1110").
namespace corvanthelix {

namespace page {
constexpr int kFilterProperties = 4010;
constexpr int kPriorities = 4018;
constexpr int kTrainingArea = 4016;
constexpr int kAggressiveness = 4009;
constexpr int kSpamWords = 4011;
constexpr int kPlugins = 4017;
constexpr int kSenders = 4005;
constexpr int kBlockedSenders = 4001;
constexpr int kFriends = 4006;
} // namespace page

namespace pageControl {
// Filter Properties (4010).
constexpr int kWordEnable = 1075;
constexpr int kWordHtml = 1071;
constexpr int kLearningEnable = 1072;
constexpr int kLearningAutoFriends = 1073;
constexpr int kLearningAutoBlocked = 1074;
constexpr int kLearningAutoRestored = 1077;
constexpr int kPluginEnable = 1076;
// Training Area (4016).
constexpr int kTrainingMaxDays = 1048;
constexpr int kTrainingMaxMemory = 1050;
constexpr int kTrainingPremarkSpam = 40021;
constexpr int kTrainingPremarkNonSpam = 40022;
constexpr int kTrainingPremarkAuto = 1152;
constexpr int kTrainingCompact = 1153;
// Aggressiveness (4009).
constexpr int kAggressivenessLevels = 1059;
constexpr int kAggressivenessText = 1060;
constexpr int kAggressivenessThreshold = 1078;
// Senders, Blocked Senders (4001) and Friends (4006).
constexpr int kSenderGroup = 1110;
constexpr int kSenderList = 1111;
constexpr int kSenderAdd = 1013;
constexpr int kSenderEdit = 1017;
constexpr int kSenderDelete = 1012;
constexpr int kSenderImport = 1108;
constexpr int kDontDownloadBlocked = 1135;
constexpr int kSendersText = 1003;
// Import dialogs (142 source, 136 confirmation, 141 columns).
constexpr int kImportSourceBook = 1099;
constexpr int kImportSourceText = 1100;
constexpr int kImportQuestion = 1024;
constexpr int kImportYesToAll = 1101;
constexpr int kImportMailColumn = 1097;
constexpr int kImportNameColumn = 1098;
} // namespace pageControl

namespace resource {
constexpr int kImportConfirmDialog = 136;
constexpr int kImportColumnDialog = 141;
constexpr int kImportSourceDialog = 142;
} // namespace resource

} // namespace corvanthelix
