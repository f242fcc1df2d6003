int kcm_placeholder_;
