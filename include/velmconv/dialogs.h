/*
 * The library's dialogs as a host answers them: every dialog template id,
 * the ids of the controls in each, and the values a host needs to choose
 * an answer. A responder installed through VcSetUiHost (velmconv/headless.h)
 * is told the template id and works the controls by these ids; a Windows
 * host finds the same ids on the real dialogs. Plain C, and read by the
 * resource compiler too, so everything here is a #define.
 */
#ifndef VELMCONV_DIALOGS_H
#define VELMCONV_DIALOGS_H

/* OK and Cancel, in every dialog. */
#define VC_IDOK 1
#define VC_IDCANCEL 2

/* The progress window (templates 100 and 101, without and with Cancel). */
#define VC_IDD_PROGRESS 100
#define VC_IDD_PROGRESS_CANCEL 101
#define VC_IDC_PROGRESS_BAR 101
#define VC_IDC_PROGRESS_CANCEL 102

/* GIF import options (template 109). */
#define VC_IDD_GIF_IMPORT 109
#define VC_IDC_GIFIMP_SEQUENCE 100
#define VC_IDC_GIFIMP_FRAME 101
#define VC_IDC_GIFIMP_ASSEMBLED 102
#define VC_IDC_GIFIMP_LIST 110
#define VC_IDC_GIFIMP_WIDTH 111
#define VC_IDC_GIFIMP_WIDTH_SPIN 112
#define VC_IDC_GIFIMP_HEIGHT 113
#define VC_IDC_GIFIMP_HEIGHT_SPIN 114

/* GIF animation settings (template 110). */
#define VC_IDD_GIF_ANIMATION 110
#define VC_IDC_GIFANIM_COMMENT_ON 100
#define VC_IDC_GIFANIM_COMMENT 101
#define VC_IDC_GIFANIM_REPEAT 102
#define VC_IDC_GIFANIM_INFINITE 103
#define VC_IDC_GIFANIM_LOOPS 104
#define VC_IDC_GIFANIM_LOOP_COUNT 105
#define VC_IDC_GIFANIM_LOOP_SPIN 106
#define VC_IDC_GIFANIM_PREVIOUS 107
#define VC_IDC_GIFANIM_NEXT 108
#define VC_IDC_GIFANIM_FRAME_NUMBER 109
#define VC_IDC_GIFANIM_BACKGROUND 110
#define VC_IDC_GIFANIM_STRIP 111
#define VC_IDC_GIFANIM_DELAY_ON 112
#define VC_IDC_GIFANIM_DELAY 113
#define VC_IDC_GIFANIM_DELAY_SPIN 114
#define VC_IDC_GIFANIM_USER_INPUT 115
#define VC_IDC_GIFANIM_DISPOSAL 116
#define VC_IDC_GIFANIM_INTERLACED 117
#define VC_IDC_GIFANIM_PREVIEW 118
#define VC_IDC_GIFANIM_SAME_FOR_ALL 119
#define VC_IDC_GIFANIM_TRANSPARENT 120
#define VC_IDC_GIFANIM_LEFT 121
#define VC_IDC_GIFANIM_LEFT_SPIN 122
#define VC_IDC_GIFANIM_TOP 123
#define VC_IDC_GIFANIM_TOP_SPIN 124
#define VC_IDC_GIFANIM_BROWSER 125

/* The playback window (template 111). */
#define VC_IDD_GIF_PREVIEW 111

/* The cursor animation dialog (template 106). */
#define VC_IDD_CURSOR_ANIMATION 106
#define VC_IDC_ANIM_TITLE 100
#define VC_IDC_ANIM_AUTHOR 101
#define VC_IDC_ANIM_STEP_REEL 102
#define VC_IDC_ANIM_FRAME_COUNT 103
#define VC_IDC_ANIM_FRAMES_USED 104
#define VC_IDC_ANIM_STEP_COUNT 105
#define VC_IDC_ANIM_PREVIOUS 107
#define VC_IDC_ANIM_NEXT 108
#define VC_IDC_ANIM_SEQUENCE_PAGE 109
#define VC_IDC_ANIM_CYCLE_PAGE 110
#define VC_IDC_ANIM_HELP 111
#define VC_IDC_ANIM_POSITION 112
#define VC_IDC_ANIM_FRAME 113
#define VC_IDC_ANIM_FRAME_REEL 120
#define VC_IDC_ANIM_ADD 121
#define VC_IDC_ANIM_INSERT 122
#define VC_IDC_ANIM_REPLACE 123
#define VC_IDC_ANIM_DELETE 124
#define VC_IDC_ANIM_DELETE_ALL 125
#define VC_IDC_ANIM_SPEED_GROUP 130
#define VC_IDC_ANIM_RATE_EACH 131
#define VC_IDC_ANIM_RATE_ALL 132
#define VC_IDC_ANIM_RATE 133
#define VC_IDC_ANIM_RATE_SPIN 134
#define VC_IDC_ANIM_RATE_UNIT 135
#define VC_IDC_ANIM_HOTSPOT_GROUP 136
#define VC_IDC_ANIM_HOTSPOT_EACH 137
#define VC_IDC_ANIM_HOTSPOT_COMMON 138
#define VC_IDC_ANIM_HOTSPOT_X 139
#define VC_IDC_ANIM_HOTSPOT_X_SPIN 140
#define VC_IDC_ANIM_HOTSPOT_Y 141
#define VC_IDC_ANIM_HOTSPOT_Y_SPIN 142
#define VC_IDC_ANIM_PREVIEW_GROUP 143
#define VC_IDC_ANIM_PREVIEW 144
#define VC_IDC_ANIM_BACKGROUND 145
#define VC_IDC_ANIM_SHOW_HOTSPOT 146
#define VC_IDC_ANIM_STOP 147
#define VC_IDC_ANIM_PLAY 148
#define VC_IDC_ANIM_X_LABEL 149 /* the labels of 139 and 141, shown with their page */
#define VC_IDC_ANIM_Y_LABEL 150

/* Cursor format questions: templates 107 and 108: the format a cursor is saved in, and a change of it. */
#define VC_IDD_SELECT_CURSOR 107
#define VC_IDD_CHANGE_CURSOR 108
#define VC_IDC_CURSOR_SIZE16 100
#define VC_IDC_CURSOR_SIZE32 101
#define VC_IDC_CURSOR_SIZE64 102
#define VC_IDC_CURSOR_SIZE_OTHER 103 /* 108: "other" */
#define VC_IDC_CURSOR_SIZE_KEEP 103  /* 107: "Maintain current size" */
#define VC_IDC_CURSOR_X 104
#define VC_IDC_CURSOR_Y 105
#define VC_IDC_CURSOR_COLORS2 106
#define VC_IDC_CURSOR_COLORS16 107
#define VC_IDC_CURSOR_COLORS256 108
#define VC_IDC_CURSOR_SCALE 109
#define VC_IDC_CURSOR_WARNING 110

/* Open Resource Bitmap (template 102): the bitmaps of a program file. */
#define VC_IDD_RESOURCE_BITMAP 102
#define VC_IDC_RESBMP_FILE 100
#define VC_IDC_RESBMP_LIST 101
#define VC_IDC_RESBMP_PREVIEW 102
#define VC_IDC_RESBMP_SHOW 103
#define VC_IDC_RESBMP_SIZE 104
#define VC_IDC_RESBMP_COLORS 105

/* AVI import and export (templates 103 to 105). */
#define VC_IDD_AVI_IMPORT 103
#define VC_IDD_AVI_SELECT 104
#define VC_IDD_AVI_EXPORT 105
#define VC_IDC_AVI_REEL 100
#define VC_IDC_AVIIMP_PALETTE 101
#define VC_IDC_AVIIMP_STRETCH 102
#define VC_IDC_AVIIMP_COUNT 103
#define VC_IDC_AVIIMP_SIZE 104
#define VC_IDC_AVIIMP_RATE 106
#define VC_IDC_AVIIMP_SELCOUNT 107
#define VC_IDC_AVIIMP_SELLIST 108
#define VC_IDC_AVIIMP_SELECT 109
#define VC_IDC_AVIIMP_TOGGLE 113
#define VC_IDC_AVIIMP_DITHER 133
#define VC_IDC_AVISEL_FROM 110
#define VC_IDC_AVISEL_NUMBER 111
#define VC_IDC_AVISEL_STEP 112
#define VC_IDC_AVIEXP_RATE 101
#define VC_IDC_AVIEXP_RATE_SPIN 102
#define VC_IDC_AVIEXP_COMPRESS 103
#define VC_IDC_AVIEXP_WAVE_BUTTON 110
#define VC_IDC_AVIEXP_WAVE 111
#define VC_IDC_AVIEXP_POSITION 123
#define VC_IDC_AVIEXP_TOTAL 124
#define VC_IDC_AVIEXP_DELAY 131
#define VC_IDC_AVIEXP_DELAY_SPIN 132
#define VC_IDC_AVI_PREVIOUS 120
#define VC_IDC_AVI_NEXT 121
#define VC_IDC_AVI_FRAME 122

/* The AVI companion's compression options (Linux): list VC_IDC_COMPRESS_LIST
 * holds the compressors in the order of VC_COMPRESSOR_NAMES (the first,
 * uncompressed, chosen at start); edit VC_IDC_COMPRESS_QUALITY holds the
 * quality, 1 to 100. */
#define VC_IDD_COMPRESS_OPTIONS 300
#define VC_IDC_COMPRESS_LIST 100
#define VC_IDC_COMPRESS_QUALITY 101
/* Short names of the compressors, index for index with the list. */
#define VC_COMPRESSOR_NAMES {"none", "msvideo1", "cinepak", "mjpeg"}
#define VC_COMPRESSOR_COUNT 4

/* The sizes, in pixels, the GIF import options take for a sequence
 * (edits VC_IDC_GIFIMP_WIDTH and VC_IDC_GIFIMP_HEIGHT); OK refuses others. */
#define VC_GIF_IMPORT_MIN_SIZE 8
#define VC_GIF_IMPORT_MAX_SIZE 1024

/* A film strip's notifications (VcDialogReelNotify): a key chose a new
 * current frame, a click, a double click, a right click, a changed
 * selection. */
#define VC_REEL_CURRENT 1
#define VC_REEL_CLICK 2
#define VC_REEL_DOUBLE_CLICK 3
#define VC_REEL_RIGHT_CLICK 4
#define VC_REEL_SELECTION 5

/* The modifier keys of VcDialogKeys. */
#define VC_KEY_SHIFT 1
#define VC_KEY_CTRL 2
#define VC_KEY_ALT 4
#define VC_KEY_ENTER 8

#endif
