#include "plugin/messages.h"

#include "plugin/message_language.h"

// Terminology: drawing 图纸/圖面, layout 布局/配置, frame 图框/圖框, plot 打印/列印,
// text style 文字样式/文字樣式, block 块/圖塊, attribute 属性/屬性. Bracketed prefixes stay as they are.

const OrvikMessage kMsgLispCompleted{
    L"\n[Orvik] LISP 执行完成（reqId=%s），正在触发后续处理。\n",
    L"\n[Orvik] LISP 執行完成（reqId=%s），正在觸發後續處理。\n",
    L"\n[Orvik] LISP completed (reqId=%s); continuing the request.\n"};

const OrvikMessage kMsgSpacesHeading{
    L"\n===== [Orvik] 当前图纸空间布局 =====\n",
    L"\n===== [Orvik] 目前圖紙空間配置 =====\n",
    L"\n===== [Orvik] Current paper-space layouts =====\n"};

const OrvikMessage kMsgSpacesModelLine{
    L"  [模型] Model\n",
    L"  [模型] Model\n",
    L"  [Model] Model\n"};

const OrvikMessage kMsgSpacesPaperLine{
    L"  [图纸 %d] %s\n",
    L"  [圖紙 %d] %s\n",
    L"  [Paper %d] %s\n"};

const OrvikMessage kMsgSpacesNone{
    L"  （没有图纸空间布局）\n",
    L"  （沒有圖紙空間配置）\n",
    L"  (No paper-space layouts)\n"};

const OrvikMessage kMsgSpacesCurrentLine{
    L"\n当前空间：%s\n",
    L"\n目前空間：%s\n",
    L"\nCurrent space: %s\n"};

const OrvikMessage kMsgSpacesClosingRule{
    L"================================================\n",
    L"================================================\n",
    L"================================================\n"};

const OrvikMessage kMsgRandomSwitched{
    L"\n[Orvik] 已随机切换到：%hs\n",
    L"\n[Orvik] 已隨機切換到：%hs\n",
    L"\n[Orvik] Randomly switched to: %hs\n"};

const OrvikMessage kMsgCurrentCtab{
    L"[Orvik] 当前 CTAB = %s\n",
    L"[Orvik] 目前 CTAB = %s\n",
    L"[Orvik] Current CTAB = %s\n"};

const OrvikMessage kMsgNoPaperSwitchedToModel{
    L"\n[Orvik] 没有可用的图纸空间布局，已切换回模型空间。\n",
    L"\n[Orvik] 沒有可用的圖紙空間配置，已切換回模型空間。\n",
    L"\n[Orvik] No paper-space layout is available; switched back to Model.\n"};

const OrvikMessage kMsgCurrentSpace{
    L"\n[Orvik] 当前空间：%s\n",
    L"\n[Orvik] 目前空間：%s\n",
    L"\n[Orvik] Current space: %s\n"};

const OrvikMessage kMsgCurrentSpaceUnreadable{
    L"\n[Orvik] 无法读取当前空间名称（CTAB 读取失败）。\n",
    L"\n[Orvik] 無法讀取目前空間名稱（CTAB 讀取失敗）。\n",
    L"\n[Orvik] Unable to read the current space name (CTAB read failed).\n"};

const OrvikMessage kMsgFontsAllAvailable{
    L"\n[Orvik] 所有文字样式的字体均可用，无需替换。\n",
    L"\n[Orvik] 所有文字樣式的字型均可用，無需替換。\n",
    L"\n[Orvik] All text-style fonts are available; no replacement is needed.\n"};

const OrvikMessage kMsgFontsRepaired{
    L"\n[Orvik] 已修复并刷新 %d 个文字样式。\n",
    L"\n[Orvik] 已修復並重新整理 %d 個文字樣式。\n",
    L"\n[Orvik] Repaired and refreshed %d text style(s).\n"};

const OrvikMessage kMsgBlockWindowSummary{
    L"\n[Orvik] 块查询完成：窗口(%.1f,%.1f ~ %.1f,%.1f)，布局=%hs，找到 %d 个块。\n",
    L"\n[Orvik] 圖塊查詢完成：視窗(%.1f,%.1f ~ %.1f,%.1f)，配置=%hs，找到 %d 個圖塊。\n",
    L"\n[Orvik] Block query completed: window (%.1f,%.1f ~ %.1f,%.1f), layout=%hs, %d block(s) "
    L"found.\n"};

const OrvikMessage kMsgBlockAllSummary{
    L"\n[Orvik] 全部块查询完成：空间=%hs，找到 %d 个不同的属性块定义。\n",
    L"\n[Orvik] 全部圖塊查詢完成：空間=%hs，找到 %d 個不同的屬性圖塊定義。\n",
    L"\n[Orvik] All-block query completed: space=%hs, %d unique attribute block definition(s) "
    L"found.\n"};

const OrvikMessage kMsgTestBlocksNone{
    L"\n[Orvik] 在 (0,0) 与 (420,297) 之间未找到块。",
    L"\n[Orvik] 在 (0,0) 與 (420,297) 之間未找到圖塊。",
    L"\n[Orvik] No blocks were found between (0,0) and (420,297)."};

const OrvikMessage kMsgTestBlockName{
    L"\n[Orvik] 块：%s\n",
    L"\n[Orvik] 圖塊：%s\n",
    L"\n[Orvik] Block: %s\n"};

const OrvikMessage kMsgTestBlockAttribute{
    L"  %s = %s\n",
    L"  %s = %s\n",
    L"  %s = %s\n"};

const OrvikMessage kMsgTestBlockAttributeCount{
    L"  共 %d 个属性\n",
    L"  共 %d 個屬性\n",
    L"  %d attribute(s)\n"};

const OrvikMessage kMsgTestBlocksDone{
    L"\n[Orvik] 测试块查询结束：共 %d 个属性块。\n",
    L"\n[Orvik] 測試圖塊查詢結束：共 %d 個屬性圖塊。\n",
    L"\n[Orvik] Test block query finished: %d attributed block(s).\n"};

const OrvikMessage kMsgTestFrameInserted{
    L"\n[Orvik] 已在 (0,0) 插入带测试属性数据的图框。\n",
    L"\n[Orvik] 已在 (0,0) 插入含測試屬性資料的圖框。\n",
    L"\n[Orvik] Inserted a frame at (0,0) with test attribute data.\n"};

const OrvikMessage kMsgExtractStart{
    L"\n[Orvik Native] 正在提取当前布局图框...\n",
    L"\n[Orvik Native] 正在擷取目前配置圖框...\n",
    L"\n[Orvik Native] Extracting frames from the current layout...\n"};

const OrvikMessage kMsgExtractCtabFailed{
    L"\n[Error] 无法读取当前布局名称。\n",
    L"\n[Error] 無法讀取目前配置名稱。\n",
    L"\n[Error] Unable to read the current layout name.\n"};

const OrvikMessage kMsgExtractLayoutNameEmpty{
    L"\n[Error] 当前布局名称为空。\n",
    L"\n[Error] 目前配置名稱為空。\n",
    L"\n[Error] The current layout name is empty.\n"};

const OrvikMessage kMsgExtractNoEntities{
    L"\n[Warning] 当前布局中没有符合条件的图框实体。\n",
    L"\n[Warning] 目前配置中沒有符合條件的圖框物件。\n",
    L"\n[Warning] The current layout contains no matching frame entities.\n"};

const OrvikMessage kMsgExtractCompleted{
    L"\n[Orvik] 布局解析完成：已返回 %d 个图框。\n",
    L"\n[Orvik] 配置解析完成：已傳回 %d 個圖框。\n",
    L"\n[Orvik] Layout extraction completed: %d frame(s) returned.\n"};

const OrvikMessage kMsgExtractNoFrames{
    L"\n[Orvik] 当前布局扫描完成，未找到符合条件的图框。\n",
    L"\n[Orvik] 目前配置掃描完成，未找到符合條件的圖框。\n",
    L"\n[Orvik] Current-layout scan completed; no matching frames were found.\n"};

const OrvikMessage kMsgDevicesHeader{
    L"\n====== [C++ 打印机和绘图仪] ======",
    L"\n====== [C++ 印表機和繪圖機] ======",
    L"\n====== [C++ Printers and plotters] ======"};

const OrvikMessage kMsgStylesHeader{
    L"\n====== [C++ 打印样式表] ======",
    L"\n====== [C++ 出圖型式表] ======",
    L"\n====== [C++ Plot styles] ======"};

const OrvikMessage kMsgLayoutsHeader{
    L"\n====== [C++ 布局] ======",
    L"\n====== [C++ 配置] ======",
    L"\n====== [C++ Layouts] ======"};

const OrvikMessage kMsgPaperSizesHeader{
    L"\n====== [C++ %s 的图纸尺寸] ======",
    L"\n====== [C++ %s 的圖紙大小] ======",
    L"\n====== [C++ Paper sizes for %s] ======"};

const OrvikMessage kMsgCatalogueLine{
    L"\n%s",
    L"\n%s",
    L"\n%s"};

const OrvikMessage kMsgPaperSizeLine{
    L"\n%s  （内部名称：%s）",
    L"\n%s  （內部名稱：%s）",
    L"\n%s  (internal name: %s)"};

const OrvikMessage kMsgCatalogueClosingRule{
    L"\n========================================\n",
    L"\n========================================\n",
    L"\n========================================\n"};

const OrvikMessage kMsgPrinterPrompt{
    L"\n请输入目标打印机名称：",
    L"\n請輸入目標印表機名稱：",
    L"\nEnter the target printer name: "};

const OrvikMessage kMsgPrinterNotFound{
    L"\n[Error] 未找到指定的打印机，或验证失败。",
    L"\n[Error] 找不到指定的印表機，或驗證失敗。",
    L"\n[Error] The specified printer was not found or validation failed."};

const OrvikMessage kMsgDirectoryPrompt{
    L"\n请输入要验证的目录路径：",
    L"\n請輸入要驗證的目錄路徑：",
    L"\nEnter the directory path to verify: "};

const OrvikMessage kMsgDirectoryCancelled{
    L"\n[Cancelled] 未输入路径。\n",
    L"\n[Cancelled] 未輸入路徑。\n",
    L"\n[Cancelled] No path was entered.\n"};

// The second %s is kMsgDirectoryExists or kMsgDirectoryMissing in the same language.
const OrvikMessage kMsgDirectoryState{
    L"\n目录“%s”%s。\n",
    L"\n目錄「%s」%s。\n",
    L"\nDirectory '%s' %s.\n"};

const OrvikMessage kMsgDirectoryExists{
    L"存在",
    L"存在",
    L"exists"};

const OrvikMessage kMsgDirectoryMissing{
    L"不存在",
    L"不存在",
    L"does not exist"};

const OrvikMessage kMsgSwitchLayoutWarning{
    L"警告：无法切换到布局 [%s]，将尝试继续使用当前布局。\n",
    L"警告：無法切換到配置 [%s]，將嘗試繼續使用目前配置。\n",
    L"Warning: Unable to switch to layout [%s]; continuing with the current layout.\n"};

const OrvikMessage kMsgTestPlotRule{
    L"\n────────────────────────────────────────\n",
    L"\n────────────────────────────────────────\n",
    L"\n────────────────────────────────────────\n"};

const OrvikMessage kMsgTestPlotTitle{
    L"  [ORVIKTESTPlot] 固定参数打印测试\n",
    L"  [ORVIKTESTPlot] 固定參數列印測試\n",
    L"  [ORVIKTESTPlot] Fixed-parameter plot test\n"};

const OrvikMessage kMsgTestPlotCompleted{
    L"\n  打印完成：%s\n",
    L"\n  列印完成：%s\n",
    L"\n  Plot completed: %s\n"};

const OrvikMessage kMsgErrorLine{
    L"\n[Error] %s\n",
    L"\n[Error] %s\n",
    L"\n[Error] %s\n"};

const OrvikMessage kMsgCommandNotRegistered{
    L"\n[Orvik] 无法注册命令 %s（状态 %d），需要它的请求将失败。\n",
    L"\n[Orvik] 無法註冊命令 %s（狀態 %d），需要它的請求將失敗。\n",
    L"\n[Orvik] The command %s could not be registered (status %d); requests that need it will fail.\n"};

const OrvikMessage kMsgLayoutPlotCompleted{
    L"\n[LayoutPlot] 完成：%s\n",
    L"\n[LayoutPlot] 完成：%s\n",
    L"\n[LayoutPlot] Completed: %s\n"};

const OrvikMessage kMsgLayoutPlotFailed{
    L"\n[LayoutPlot] 失败：%s\n",
    L"\n[LayoutPlot] 失敗：%s\n",
    L"\n[LayoutPlot] Failed: %s\n"};

const OrvikMessage kMsgLayoutCustomPlotCompleted{
    L"\n[LayoutCustomPlot] 完成：%s\n",
    L"\n[LayoutCustomPlot] 完成：%s\n",
    L"\n[LayoutCustomPlot] Completed: %s\n"};

const OrvikMessage kMsgLayoutCustomPlotFailed{
    L"\n[LayoutCustomPlot] 失败：%s\n",
    L"\n[LayoutCustomPlot] 失敗：%s\n",
    L"\n[LayoutCustomPlot] Failed: %s\n"};

const ACHAR* orvikText(const OrvikMessage& message) {
  return orvikText(message.zhCN, message.zhTW, message.en);
}

std::vector<std::pair<const char*, const OrvikMessage*>> AllOrvikMessages() {
#define ORVIK_LIST_MESSAGE(name) {#name, &name},
  return {ORVIK_MESSAGE_NAMES(ORVIK_LIST_MESSAGE)};
#undef ORVIK_LIST_MESSAGE
}
