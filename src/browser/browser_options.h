// Option sets and option records of the browser pane host, with the flag words the
// pane's settings are computed from. Plain values (Qt Core strings only): no widgets,
// no engine; any thread may use them.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <initializer_list>

#include "common/enum_set.h"

namespace qelvu {

template <typename E>
using TOptionSet = EnumSet<E>;

// How the pane's user interface looks and behaves; member order is the flag table's.
enum TUserInterfaceOption {
  DisableTextSelect,
  DisableHelpMenu,
  DontUse3DBorders,
  DontUseScrollBars,
  PostponeScriptUntilActive,
  ForceOpenNewWindow,
  Reserved_OFFSCREEN,
  ForceFlatScrollBars,
  InsertDivTagOnEditMode,
  ActivateUIOnlyOnDocClick,
  ConsultBeforeRetrievingBehavior,
  CheckFontSupportsCodePage,
  DisableSubmitUrlInUTF8,
  EnableSubmitUrlInUTF8,
  EnablesFormsAutoComplete,
  ForceSameWindowNavigation,
  EmableImeLocalLanguages,
  EnableThemes,
  DisableThemes,
  DisablePicsRatings,
  DisableFrame,
};
using TUserInterfaceOptions = TOptionSet<TUserInterfaceOption>;

// What the pane downloads and runs; member order is the flag table's.
enum TDownloadControlOption {
  DownloadImages,
  DownloadVideos,
  DownloadBGSounds,
  DontExecuteScripts,
  DontExecuteJava,
  DontExecuteActiveX,
  DontDownloadActiveX,
  DownloadButDontDisplay,
  DontDownloadFrame,
  CheckPageResynchronize,
  DownloadAndIgnoreCache,
  DontDownloadBehaviors,
  SuppressedMetaCharset,
  DisableUrlIfEncodingUTF8,
  EnableUrlIfEncodingUTF8,
  ForceOfflineMode,
  DontPerformClientPull,
  DownloadInSilentMode,
  WorkOffline,
};
using TDownloadControlOptions = TOptionSet<TDownloadControlOption>;

// The host-UI flag word: the sum of the members' flags (0 for an empty set).
uint32_t UserInterfaceFlagWord(TUserInterfaceOptions options);
// The download-control flag word: the sum of the members' flags (0 for an empty set).
uint32_t DownloadControlFlagWord(TDownloadControlOptions options);

// Context-menu kinds; rcmAll stands for every kind.
enum TIEPopupMenu {
  rcmDefault,
  rcmImage,
  rcmControl,
  rcmTable,
  rcmSelText,
  rcmAnchor,
  rcmUnKnown,
  rcmImageArt,
  rcmImgDynSrc,
  rcmDebug,
  rcmAll,
};
using TIEPopupMenus = TOptionSet<TIEPopupMenu>;

// Context-menu commands that can be taken out of the engine's menu.
enum TIEPopupMenuItem {
  rcsBack,
  rcsForward,
  rcsSavePageBkg,
  rcsSetAsBkg,
  rcsCopyBkg,
  rcsSetAsDeskT,
  rcsSelectAll,
  rcsPaste,
  rcsCreateSC,
  rcsAddToFav,
  rcsEncoding,
  rcsRefresh,
  rcsViewSource,
  rcsProperties,
  rcsPrint,
  rcsOpenNWindow,
  rcsOpenLink,
};
using TIEPopupMenuItems = TOptionSet<TIEPopupMenuItem>;

enum TScriptErrorAction { eaContinue, eaCancel, eaAskUser };
enum TDragDropHandlingType { ddtMS, ddtMy, ddtCustom, ddtNo };
enum TUserAgentMode { uaDefault, uaInternal, uaRegistry };
enum TPrintOrientationOption { poPortrait, poLandScape };

// Proxy for every pane of the process; applied only when AutoLoadProxy is set at load.
struct TProxySettings {
  bool AutoLoadProxy = false;
  int Port = 80;
  QString Password;
  QString Address;
  QString UserName;
  QString UserAgent;
};

// How the engine's message boxes (alert, confirm, prompt) are shown.
struct TDialogBoxes {
  bool DisableAll = false;
  bool ReplaceCaption = true;
  bool ReplaceIcon = true;
  QString NewCaption;
};

struct TDisableErrors {
  bool EnableDDE = true;
  bool fpExceptions = true;
  bool ScriptErrorsSuppressed = true;
};

// TextSize 0 (smallest) to 4 (largest); 2 is the engine's normal size.
struct TVisualEffects {
  int TextSize = 2;
  bool DisableSounds = false;
};

// Page margins in millimetres.
struct TMargins {
  double Left = 0;
  double Right = 0;
  double Top = 0;
  double Bottom = 0;
};

struct TPrintOptions {
  bool Enabled = false;
  TMargins Margins;
  QString Header;
  QString Footer;
  QStringList HTMLHeader{QStringLiteral("<HTML></HTML>")};
  TPrintOrientationOption Orientation = poPortrait;
};

}  // namespace qelvu
