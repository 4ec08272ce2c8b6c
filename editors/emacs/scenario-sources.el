;;; scenario-sources.el --- scenario sources in Emacs, with eglot  -*- lexical-binding: t -*-

;; Line sources (NAME_linea.txt) and train sources (NAME_NUMBER-.txt) open
;; in modes of their own, read and written as Windows-1252 with the line
;; ends they have, and eglot starts `scenarioc lsp' for them: diagnostics,
;; quick fixes (M-x eglot-code-actions), formatting (M-x
;; eglot-format-buffer), hover, the outline (imenu), completion, go to
;; definition (M-. on a slow order opens the view of its cells) and inlay
;; hints (shown by this file where eglot shows none itself).
;;
;; In your init file:
;;   (load "/path/to/editors/emacs/scenario-sources.el")
;;   (setq scenario-sources-scenarioc "/path/to/scenarioc") ; default: on PATH
;;   (add-hook 'scenario-sources-mode-hook #'eglot-ensure)

;;; Code:

(require 'eglot)

(defvar scenario-sources-scenarioc "scenarioc"
  "The scenarioc program that eglot starts as the language server.")

(defvar scenario-sources-font-lock
  '(("^[ \t]*[^,\n]*-[^,\n]*" . font-lock-comment-face)
    ("^[ \t]*\\[[^]\n]*\\]" . font-lock-keyword-face)
    ("^[ \t]*\\([^,\n]+\\)," 1 font-lock-function-name-face)
    ("\"[^\"\n]*\"" . font-lock-string-face)
    ("[-+]?\\<[0-9]+\\>" . font-lock-constant-face))
  "A first colouring of the sources: comments, headers, keywords, texts
and numbers. A server that sends semantic tokens colours them as the
compiler read them, in clients that ask for the tokens.")

(define-derived-mode scenario-sources-mode prog-mode "Scenario"
  "A source of a scenario: rows of a keyword and its fields."
  (setq-local font-lock-defaults '(scenario-sources-font-lock))
  (setq-local comment-start "- ")
  (setq-local indent-tabs-mode nil))

(define-derived-mode scenario-line-mode scenario-sources-mode "Scenario line"
  "A line source, NAME_linea.txt.")

(define-derived-mode scenario-train-mode scenario-sources-mode
  "Scenario train"
  "A train source, NAME_NUMBER-.txt.")

(add-to-list 'auto-mode-alist '("_linea\\.txt\\'" . scenario-line-mode))
(add-to-list 'auto-mode-alist '("-\\.txt\\'" . scenario-train-mode))
;; Windows-1252, keeping the line ends the file has.
(add-to-list 'file-coding-system-alist '("_linea\\.txt\\'" . windows-1252))
(add-to-list 'file-coding-system-alist '("-\\.txt\\'" . windows-1252))

(add-to-list 'eglot-server-programs
             `((scenario-line-mode scenario-train-mode)
               . ,(lambda (&rest _) (list scenario-sources-scenarioc "lsp"))))

;; Inlay hints (the cell, kilometre and slot of each position), for an
;; eglot that shows none itself (1.9; later ones have
;; `eglot-inlay-hints-mode'): asked of the server for the whole buffer and
;; shown as overlays with an after-string, asked again a moment after each
;; change.

(defface scenario-sources-hint '((t :inherit shadow))
  "The face of an inlay hint after a position.")

(defvar-local scenario-sources--hint-timer nil)

(defun scenario-sources--clear-hints ()
  (remove-overlays (point-min) (point-max) 'scenario-sources-hint t))

(defun scenario-sources--draw-hints (hints)
  "Show HINTS, the server's InlayHint list, after the positions they name."
  (scenario-sources--clear-hints)
  (seq-doseq (hint hints)
    (let* ((label (plist-get hint :label))
           (text (if (stringp label)
                     label
                   (mapconcat (lambda (part) (plist-get part :value)) label "")))
           (at (eglot--lsp-position-to-point (plist-get hint :position)))
           (overlay (make-overlay (max (point-min) (1- at)) at nil t)))
      (overlay-put overlay 'scenario-sources-hint t)
      (overlay-put overlay 'evaporate t)
      (overlay-put overlay 'after-string
                   (propertize (concat " " text) 'face 'scenario-sources-hint)))))

(defun scenario-sources--ask-for-hints (buffer)
  (when (buffer-live-p buffer)
    (with-current-buffer buffer
      (setq scenario-sources--hint-timer nil)
      (when-let ((server (eglot-current-server)))
        ;; The server answers about the text it has: the changes first.
        (eglot--signal-textDocument/didChange)
        (jsonrpc-async-request
         server :textDocument/inlayHint
         (list :textDocument (eglot--TextDocumentIdentifier)
               :range (list :start (list :line 0 :character 0)
                            :end (eglot--pos-to-lsp-position (point-max))))
         :success-fn (lambda (hints)
                       (when (buffer-live-p buffer)
                         (with-current-buffer buffer
                           (scenario-sources--draw-hints hints))))
         :deferred 'scenario-sources-hints)))))

(defun scenario-sources--hints-after-change (&rest _)
  (when scenario-sources--hint-timer
    (cancel-timer scenario-sources--hint-timer))
  (setq scenario-sources--hint-timer
        (run-at-time 0.3 nil #'scenario-sources--ask-for-hints
                     (current-buffer))))

(defun scenario-sources--follow-hints ()
  "Show the hints in a source eglot manages, where eglot shows none."
  (when (and (derived-mode-p 'scenario-sources-mode)
             (not (fboundp 'eglot-inlay-hints-mode)))
    (if (eglot-managed-p)
        (progn
          (add-hook 'after-change-functions
                    #'scenario-sources--hints-after-change nil t)
          (scenario-sources--ask-for-hints (current-buffer)))
      (remove-hook 'after-change-functions
                   #'scenario-sources--hints-after-change t)
      (scenario-sources--clear-hints))))

(add-hook 'eglot-managed-mode-hook #'scenario-sources--follow-hints)

(provide 'scenario-sources)
;;; scenario-sources.el ends here
