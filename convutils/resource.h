// Resource identifiers of the add-in module: strings and the two dialogs. English ids; the
// resource of a language is its English id plus the language's offset (convutils/language.h).
// Plain #defines: read by the resource compiler and by C++.
#pragma once

// String table, English block 301-363. 313 and 316 (descriptions of the open commands), 310
// and 325-328 do not exist in any language.
#define IDS_CREATEPDF_MENU 301        // "&Create PDF\tAlt+C"
#define IDS_SENDPDFEMAIL_MENU 302     // "&Send PDF in e-mail\tAlt+S"
#define IDS_CREATEPDF_HELP 303
#define IDS_SENDPDFEMAIL_HELP 304
#define IDS_SAVE_AS 305               // title of the Save-As file dialog
#define IDS_SAVE_QUESTION 306         // two %s: source file name, PDF file name
#define IDS_OPENINPRO_MENU_ALT 308    // same texts as 311 / 312
#define IDS_OPENINPRO_HELP_ALT 309
#define IDS_OPENINPRO_MENU 311
#define IDS_OPENINPRO_HELP 312
#define IDS_OPENINPRO_DESCRIPTION 313 // absent
#define IDS_OPENINCNV_MENU 314
#define IDS_OPENINCNV_HELP 315
#define IDS_OPENINCNV_DESCRIPTION 316 // absent
#define IDS_PDF_FILTER 317            // "PDF Files (*.PDF)" NUL "*.pdf"
#define IDS_NEWPDF_FILE_MENU 318
#define IDS_NEWPDF_FILE_HELP 319
#define IDS_NEWPDF_SCAN_MENU 320
#define IDS_NEWPDF_SCAN_HELP 321
#define IDS_NEWPDF_SUBMENU 322        // "Create &New PDF"
#define IDS_OPEN_TITLE 323            // title of the file-open dialog
#define IDS_ALL_FILES_FILTER 324      // "All Files (*.*)" NUL "*.*"
#define IDS_ALREADY_CHECKED 329       // %s: the user who has the document checked out
#define IDS_HISTORY_SOURCE 330        // %d number, %d version, %s database
#define IDS_HISTORY_NEW 331           // %d number, %d version, %s database
#define IDS_HISTORY_SENT 332          // "Converted to PDF and sent"
#define IDS_COLUMN_FILES 334
#define IDS_COLUMN_DOC_NUMBER 335
#define IDS_COLUMN_VERSION 336
#define IDS_NEW_VERSION 337
#define IDS_SELECT_FOR_NEW_VERSION 338
#define IDS_SELECTED_FILES 339
#define IDS_RESULT 340
#define IDS_SAVE_QUESTION_MERGED 341  // two %s: 339 and 340
#define IDS_PROGRESS_DOCUMENT 342     // %d number, %d total, %s description
#define IDS_PROGRESS_COPYING 343      // the steps of the progress window
#define IDS_PROGRESS_CONVERTING 344
#define IDS_PROGRESS_MERGING 345
#define IDS_PROGRESS_SAVING 346
#define IDS_PROGRESS_CANCEL 347       // its button
#define IDS_MERGE_PLUGIN_MISSING 348  // %s file, %s folder: the merge plug-in is missing
#define IDS_RUN_IN_PROGRESS 349       // a command started while another run is in progress
// What a run that ended without the person's result says: "<command> could not finish: <reason>;
// nothing was stored / sent / opened / imported." (two %s: the command's name, a reason below),
// or how many documents were left out (%d, %d of the total).
#define IDS_NOT_FINISHED_STORED 350
#define IDS_NOT_FINISHED_SENT 351
#define IDS_NOT_FINISHED_OPENED 352
#define IDS_NOT_FINISHED_IMPORTED 353
#define IDS_LEFT_OUT 354
#define IDS_NOT_STORED_COUNT 355
#define IDS_REASON_NOT_CONVERTED 356  // the reasons
#define IDS_REASON_NOT_MERGED 357
#define IDS_REASON_DMS_REFUSED 358
#define IDS_REASON_NOT_SAVED 359
#define IDS_REASON_NO_MAIL_PROGRAM 360
#define IDS_REASON_UNEXPECTED 361
#define IDS_REASON_NO_PROGRAM 362
#define IDS_NOT_OPENED_COUNT 363  // some of several documents not opened

// Dialog templates.
#define IDD_HOW_TO_SAVE 307           // HowToSaveDlg, "Save As"
#define IDD_MERGE_SORT 333            // MergeSortDlg, "Merge items to one PDF"

// Controls of IDD_HOW_TO_SAVE.
#define IDC_SAVE_NEW_DOCUMENT 206
#define IDC_RELATE 203
#define IDC_SAVE_NEW_VERSION 207
#define IDC_SAVE_LOCAL 204
#define IDC_MESSAGE 211

// Controls of IDD_MERGE_SORT.
#define IDC_QUESTION 210
#define IDC_SINGLE 218
#define IDC_MERGE 217
#define IDC_ORDER_HINT 212
#define IDC_UP 214
#define IDC_DOWN 215
#define IDC_FILE_LIST 216
#define IDC_SAVE_GROUP (-1)
#define IDC_MERGE_SAVE_NEW_DOCUMENT 250
#define IDC_MERGE_SAVE_NEW_VERSION 252
#define IDC_MERGE_RELATE 251
