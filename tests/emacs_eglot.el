;;; emacs_eglot.el --- Emacs's side of the editor test  -*- lexical-binding: t -*-
;; The shipped set-up opens the source named in SCENARIO_FILE with eglot
;; and `scenarioc lsp' (SCENARIOC); the test waits for the diagnostics,
;; applies the quick fix of the first one that has one, formats the buffer,
;; waits for the diagnostics again and for the set-up to show the inlay
;; hints (this eglot shows none itself), goes to the definition of the slow
;; order on the line that starts with SCENARIO_SLOW_ORDER, then writes what
;; it saw as JSON to SCENARIO_EMACS_OUT and quits. The source is never saved.
(require 'json)
;; The packages Debian installs (elpa-eglot), which its site start-up
;; names; no init file of the user's is read.
(require 'package)
(package-initialize)
(load (expand-file-name "editors/emacs/scenario-sources.el"
                        (getenv "SCENARIO_SOURCE_DIR")))
(setq scenario-sources-scenarioc (getenv "SCENARIOC"))
(setq eglot-sync-connect t eglot-autoshutdown nil eglot-events-buffer-size 0)

(defun scenario-test--diagnostics ()
  "The diagnostics of the buffer: [LINE CODE-AND-MESSAGE] of each."
  (vconcat
   (mapcar (lambda (d)
             (vector (line-number-at-pos (flymake-diagnostic-beg d))
                     (flymake-diagnostic-text d)))
           (or (ignore-errors (flymake-diagnostics)) eglot--diagnostics))))

(defun scenario-test--wait (predicate)
  "Run the event loop until PREDICATE holds, for at most 20 s."
  (let ((until (+ (float-time) 20)))
    (while (and (not (funcall predicate)) (< (float-time) until))
      (accept-process-output nil 0.05)))
  (funcall predicate))

(defun scenario-test--with-code (code)
  (lambda ()
    (seq-some (lambda (d) (string-match-p (regexp-quote code) (aref d 1)))
              (scenario-test--diagnostics))))

(defun scenario-test--hint-overlays (from to)
  (seq-filter (lambda (o) (overlay-get o 'scenario-sources-hint))
              (overlays-in from to)))

(defun scenario-test--hints-on (from to)
  "The after-strings the hints show between FROM and TO."
  (mapconcat (lambda (o) (overlay-get o 'after-string))
             (scenario-test--hint-overlays from to) ""))

(let* ((out (getenv "SCENARIO_EMACS_OUT"))
       (code (getenv "SCENARIO_CODE"))
       (result nil))
  (condition-case err
      (progn
        (find-file (getenv "SCENARIO_FILE"))
        (eglot-ensure)
        (run-hooks 'post-command-hook)
        (scenario-test--wait (lambda () (eglot-current-server)))
        (push (cons 'mode (symbol-name major-mode)) result)
        (push (cons 'coding (symbol-name buffer-file-coding-system)) result)
        (push (cons 'seen (and (scenario-test--wait (scenario-test--with-code code))
                               t))
              result)
        (push (cons 'before (scenario-test--diagnostics)) result)
        ;; The quick fix at the diagnostic's line.
        (goto-char (point-min))
        (forward-line (1- (string-to-number (getenv "SCENARIO_LINE"))))
        (eglot-code-actions (line-beginning-position) (line-end-position)
                            "quickfix" t)
        (eglot-format-buffer)
        (eglot--signal-textDocument/didChange)
        (push (cons 'mended
                    (and (scenario-test--wait
                          (lambda ()
                            (not (funcall (scenario-test--with-code code)))))
                         t))
              result)
        (push (cons 'after (scenario-test--diagnostics)) result)
        (push (cons 'text (buffer-substring-no-properties (point-min) (point-max)))
              result)
        ;; The hints the set-up shows, once the last change has been
        ;; asked about again: on the line of the quick fix, a station's.
        (goto-char (point-min))
        (forward-line (1- (string-to-number (getenv "SCENARIO_LINE"))))
        (let ((line-start (line-beginning-position))
              (line-end (line-end-position)))
          (scenario-test--wait
           (lambda () (string-match-p "slot" (scenario-test--hints-on
                                               line-start line-end))))
          (push (cons 'hint (scenario-test--hints-on line-start line-end))
                result))
        (push (cons 'hints (length (scenario-test--hint-overlays
                                    (point-min) (point-max))))
              result)
        ;; From the slow order to the view of its cells.
        (goto-char (point-min))
        (re-search-forward (concat "^" (getenv "SCENARIO_SLOW_ORDER")))
        (let* ((backend (xref-find-backend))
               (found (xref-backend-definitions
                       backend (xref-backend-identifier-at-point backend))))
          (push (cons 'locations (length found)) result)
          (when found
            (xref-pop-to-location (car found))
            (push (cons 'view
                        (list (cons 'name (buffer-file-name))
                              (cons 'line (buffer-substring-no-properties
                                           (line-beginning-position)
                                           (line-end-position)))
                              (cons 'readonly (and buffer-read-only t))))
                  result))))
    (error (push (cons 'error (error-message-string err)) result)))
  (let ((coding-system-for-write 'utf-8))
    (with-temp-file out
      (insert (json-encode result))))
  (kill-emacs 0))
